#pragma once

#include <QObject>
#include <QPoint>

class Platform;
class QLabel;
class QLineEdit;
class QWidget;
struct FormState;

// The new section picked by three double-clicks on the window: the upper
// left corner of the drawing surface, then the upper left and the lower
// right corner of the wanted section. The third one writes the square
// section into txtX0, txtX1, txtY0, txtY1; it neither draws nor clears.
// The positions and results live in the window's hidden labels, the state
// in zoomOriginSet and zoomCornerSet; lblVergroeßerungText always tells
// what the next double-click does.
class DoubleClickZoom : public QObject
{
    Q_OBJECT

public:
    // The fields it reads and writes, the labels it keeps its positions and
    // results in, and the caption that says what comes next.
    struct Controls
    {
        QLineEdit *txtX0, *txtX1, *txtY0, *txtY1;
        QLabel *lblXP0, *lblYP0, *lblXP1, *lblYP1, *lblXP2, *lblYP2;
        QLabel *lblX0, *lblX1, *lblY0, *lblY1;
        QLabel *lblVergroeßerungText;
    };

    // `window` parents the message box.
    DoubleClickZoom(const Controls &controls, FormState &state, Platform &platform,
                    QWidget *window, QObject *parent = nullptr);

    // One double-click at `position`, the client area's logical pixels.
    void takeDoubleClick(QPoint position);

private:
    void takeOrigin(QPoint position);
    void takeUpperLeft(QPoint position);
    void takeLowerRight(QPoint position);
    bool computeSection();
    bool sectionLine(const QLineEdit *lower, const QLineEdit *upper, const QLabel *pixel,
                     const QLabel *originPixel, QLabel *result) const;

    Controls m_controls;
    FormState &m_state;
    Platform &m_platform;
    QWidget *m_window;
};
