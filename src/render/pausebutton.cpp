#include "render/pausebutton.h"

#include "form/backcolor.h"
#include "form/pausecaptions.h"
#include "form/formstate.h"
#include "render/renderrun.h"

#include <QPushButton>

PauseButton::PauseButton(QPushButton *btStop, FormState &state, RenderRun &run, QObject *parent)
    : QObject(parent), m_button(btStop), m_state(state), m_run(run)
{
}

void PauseButton::click()
{
    if (m_state.runPhase != RunPhase::Paused) {
        setBackColor(m_button, RunningColor);
        m_state.stopRequested = true;
    } else {
        setBackColor(m_button, PausedColor);
        m_state.resumeRequested = true;
        m_run.run();
    }
}
