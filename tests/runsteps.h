#pragma once

#include "app/mainwindow.h"
#include "expectedpicture.h"
#include "render/renderrun.h"
#include "userinput.h"

#include <QPushButton>
#include <QTimer>

// The fast kernel draws the start section in a few milliseconds, often
// before the run's first event pass is due: tests that act inside a run let
// events run every millisecond, so their queued clicks still land mid-run.
inline void letEventsRunEveryMillisecond(MainWindow &window)
{
    window.findChild<RenderRun *>()->setEventInterval(1);
}

// A user who clicks Start and then at once the pause button: the click on
// btStop waits in the queue until the run first lets events run. Returns
// the points drawn by then; the run pauses right after the last of them.
inline qint64 startAndPause(MainWindow &window)
{
    qint64 drawn = 0;
    QTimer::singleShot(0, &window, [&window, &drawn] {
        drawn = window.state().pixelCount;
        clickOn(window.controls().btStop);
    });
    clickOn(window.controls().cbStart);
    return drawn;
}

// The first point of the column in which a run paused after `drawn`
// points: a continued run computes that column again from its first row.
inline qint64 pausedColumnStart(qint64 drawn)
{
    return (drawn - 1) / GridPoints * GridPoints;
}
