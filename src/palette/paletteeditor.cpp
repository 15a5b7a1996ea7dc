#include "palette/paletteeditor.h"

#include "app/mainwindow.h"
#include "app/platform.h"
#include "palette/standardcolors.h"

#include <QLabel>

PaletteEditor::PaletteEditor(MainWindow &window, QObject *parent)
    : QObject(parent), m_window(window)
{
}

void PaletteEditor::chooseColor(int n)
{
    Q_ASSERT(n >= 0 && n < PaletteSize);
    const std::optional<QColor> chosen =
        m_window.platform().chooseColor(&m_window, toQColor(m_lastConfirmed));
    if (!chosen)
        return;
    // Through ColorRef so that any alpha the dialog hands back is dropped.
    m_lastConfirmed = toColorRef(*chosen);
    setBackColor(m_window.controls().lblF[size_t(n)], m_lastConfirmed);
}

void PaletteEditor::resetToStandard()
{
    const Controls &c = m_window.controls();
    for (int n = 0; n < PaletteSize; ++n)
        setBackColor(c.lblF[size_t(n)], StandardColors[size_t(n)]);
}
