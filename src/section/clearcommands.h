#pragma once

#include <QObject>

#include <array>

class DrawingSurface;
class QLabel;
class QLineEdit;
class QPushButton;
struct FormState;

// The two clear buttons. Both repaint the whole window, which removes the
// drawn points and nothing else; btC also puts the section, the counter
// and the pause machinery of the render run back to their idle form.
class ClearCommands : public QObject
{
    Q_OBJECT

public:
    // What btC empties or resets besides the picture.
    struct Controls
    {
        std::array<QLineEdit *, 4> sectionFields; // txtX0, txtX1, txtY0, txtY1
        QLabel *lblCounts, *lblI;
        QPushButton *btStop;
    };

    ClearCommands(DrawingSurface &surface, const Controls &controls, FormState &state,
                  QObject *parent = nullptr);

    // cbFC: the drawn points only. A paused run continues onto the cleared
    // surface.
    void clearFractal();

    // btC: the points, the four section fields, lblCounts; lblI "1",
    // btStop "Berechnung anhalten" on light green, stopRequested and
    // resumeRequested False, so that the next Start begins afresh. Leaves
    // txtMaxIter, lblPixel, lblBar, lblJ, the palette and the zoom alone.
    void clearAll();

private:
    DrawingSurface &m_surface;
    Controls m_controls;
    FormState &m_state;
};
