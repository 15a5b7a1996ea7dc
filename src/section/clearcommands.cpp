#include "section/clearcommands.h"

#include "app/colorref.h"
#include "app/mainwindow.h"
#include "render/renderrun.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString FirstColumn = QStringLiteral("1");

} // namespace

ClearCommands::ClearCommands(MainWindow &window, QObject *parent)
    : QObject(parent), m_window(window)
{
}

void ClearCommands::clearFractal()
{
    m_window.refresh();
}

void ClearCommands::clearAll()
{
    const Controls &c = m_window.controls();
    m_window.refresh();
    for (QLineEdit *field : {c.txtX0, c.txtX1, c.txtY0, c.txtY1})
        field->clear();
    c.lblCounts->clear();
    c.lblI->setText(FirstColumn);
    c.btStop->setText(PauseCaption);
    setBackColor(c.btStop, PausedColor);
    FormState &state = m_window.state();
    state.stopRequested = false;
    state.resumeRequested = false;
}
