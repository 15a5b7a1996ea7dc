#include "palette/paletteeditor.h"

#include "form/backcolor.h"
#include "form/platform.h"
#include "core/standardcolors.h"

#include <QLabel>

PaletteEditor::PaletteEditor(const std::array<QLabel *, 8> &swatches, Platform &platform,
                             QWidget *window, QObject *parent)
    : QObject(parent), m_swatches(swatches), m_platform(platform), m_window(window)
{
}

void PaletteEditor::chooseColor(int n)
{
    Q_ASSERT(n >= 0 && n < PaletteSize);
    const std::optional<QColor> chosen =
        m_platform.chooseColor(m_window, toQColor(m_lastConfirmed));
    if (!chosen)
        return;
    // Through ColorRef so that any alpha the dialog hands back is dropped.
    m_lastConfirmed = toColorRef(*chosen);
    setBackColor(m_swatches[size_t(n)], m_lastConfirmed);
}

void PaletteEditor::resetToStandard()
{
    for (int n = 0; n < PaletteSize; ++n)
        setBackColor(m_swatches[size_t(n)], StandardColors[size_t(n)]);
}
