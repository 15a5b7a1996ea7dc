#include "render/pausebutton.h"

#include "app/mainwindow.h"
#include "render/renderrun.h"

#include <QPushButton>

PauseButton::PauseButton(MainWindow &window, RenderRun &run, QObject *parent)
    : QObject(parent), m_window(window), m_run(run)
{
}

void PauseButton::click()
{
    QPushButton *button = m_window.controls().btStop;
    FormState &state = m_window.state();
    if (button->text() == PauseCaption) {
        setBackColor(button, RunningColor);
        state.stopRequested = true;
    } else if (button->text() == ContinueCaption) {
        setBackColor(button, PausedColor);
        state.resumeRequested = true;
        m_run.run();
    }
}
