#pragma once

#include "core/drawing.h"
#include "core/picturecounts.h"

#include <QObject>

#include <array>
#include <optional>

class DrawingSurface;
class QImage;
class QLabel;
class QLineEdit;
class QPushButton;
struct FormState;

// Puts a recorded picture back on the window at once, without a run: the
// five field texts, the palette, the picture and its counters, the bar at
// its whole columns (without counters: both empty, the bar too). A paused run ends as btC
// ends it, so that the next Start begins afresh.
class PictureRestorer : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        std::array<QLineEdit *, 5> fields; // txtX0, txtX1, txtY0, txtY1, txtMaxIter
        std::array<QLabel *, 8> swatches;  // lblF0..lblF7
        QLabel *lblCounts, *lblPixel, *lblBar, *lblI;
        QPushButton *btStop;
    };

    PictureRestorer(const Controls &controls, FormState &state, DrawingSurface &surface,
                    QObject *parent = nullptr);

    // `picture` 400 × 400, undrawn pixels transparent.
    void restore(const Drawing &record, const std::optional<PictureCounts> &counts,
                 const QImage &picture);
    // The texts and the palette only, onto a cleared surface.
    void restoreWithoutPicture(const Drawing &record);

private:
    void restoreControls(const Drawing &record, const std::optional<PictureCounts> &counts);
    void showCounts(const std::optional<PictureCounts> &counts);

    Controls m_controls;
    FormState &m_state;
    DrawingSurface &m_surface;
};
