#include "form/pausedrun.h"

#include "form/backcolor.h"
#include "form/formstate.h"
#include "form/pausecaptions.h"

#include <QLabel>
#include <QPushButton>

void endPausedRun(FormState &state, QPushButton *btStop, QLabel *lblI)
{
    state.resumeColumn = 1;
    lblI->setText(QString::number(state.resumeColumn));
    btStop->setText(PauseCaption);
    setBackColor(btStop, PausedColor);
    state.stopRequested = false;
    state.resumeRequested = false;
    state.runPhase = RunPhase::Idle;
}
