#include "section/clearcommands.h"

#include "form/drawingsurface.h"
#include "form/pausedrun.h"

#include <QLabel>
#include <QLineEdit>

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
    endPausedRun(m_state, m_controls.btStop, m_controls.lblI);
}
