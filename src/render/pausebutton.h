#pragma once

#include <QObject>

class QPushButton;
class RenderRun;
struct FormState;

// The click of btStop. The run's phase decides what a click does; the
// caption shows it:
//   drawing or idle  "Berechnung anhalten": light red face, stopRequested
//                    set; the run pauses after the point in progress (idle:
//                    the next fresh start clears the request)
//   paused           "Berechnung fortsetzen": light green face,
//                    resumeRequested set, then the render run in continue
//                    mode; returns when it ends
class PauseButton : public QObject
{
    Q_OBJECT

public:
    PauseButton(QPushButton *btStop, FormState &state, RenderRun &run, QObject *parent = nullptr);

    void click();

private:
    QPushButton *m_button;
    FormState &m_state;
    RenderRun &m_run;
};
