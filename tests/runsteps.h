#pragma once

#include "app/mainwindow.h"
#include "expectedpicture.h"
#include "fakeplatform.h"
#include "userinput.h"

#include <QPushButton>
#include <QTimer>

// A user who clicks Start and pauses once a few columns are on the screen:
// the click on btStop lands in the first event pass after `after` points,
// however fast the run is. Returns the points drawn by then; the run pauses
// right after the last of them.
inline qint64 startAndPause(MainWindow &window, qint64 after = 3 * GridPoints + 1)
{
    auto &platform = static_cast<FakePlatform &>(window.platform());
    qint64 drawn = 0;
    platform.onDoEvents = [&window, &drawn, after] {
        if (drawn == 0 && window.state().pixelCount >= after) {
            drawn = window.state().pixelCount;
            clickOn(window.controls().btStop);
        }
    };
    clickOn(window.controls().cbStart);
    platform.onDoEvents = nullptr;
    return drawn;
}

// The first point of the column in which a run paused after `drawn`
// points: a continued run computes that column again from its first row.
inline qint64 pausedColumnStart(qint64 drawn)
{
    return (drawn - 1) / GridPoints * GridPoints;
}
