#pragma once

#include <QObject>

class MainWindow;
class RenderRun;

// The click of btStop. Its caption says what a click does:
//   "Berechnung anhalten"   light red face, stopRequested set; the run
//                           pauses after the point in progress (idle: the
//                           next fresh start clears the request)
//   "Berechnung fortsetzen" light green face, resumeRequested set, then the
//                           render run in continue mode; returns when it ends
// Any other caption: nothing.
class PauseButton : public QObject
{
    Q_OBJECT

public:
    PauseButton(MainWindow &window, RenderRun &run, QObject *parent = nullptr);

    void click();

private:
    MainWindow &m_window;
    RenderRun &m_run;
};
