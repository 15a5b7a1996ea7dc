#include "section/clearcommands.h"

#include "form/backcolor.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"
#include "form/pausecaptions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString FirstColumn = QStringLiteral("1");

} // namespace

ClearCommands::ClearCommands(DrawingSurface &surface, const Controls &controls, FormState &state,
                             QObject *parent)
    : QObject(parent), m_surface(surface), m_controls(controls), m_state(state)
{
}

void ClearCommands::clearFractal()
{
    m_surface.clear();
}

void ClearCommands::clearAll()
{
    m_surface.clear();
    for (QLineEdit *field : m_controls.sectionFields)
        field->clear();
    m_controls.lblCounts->clear();
    m_controls.lblI->setText(FirstColumn);
    m_controls.btStop->setText(PauseCaption);
    setBackColor(m_controls.btStop, PausedColor);
    m_state.stopRequested = false;
    m_state.resumeRequested = false;
}
