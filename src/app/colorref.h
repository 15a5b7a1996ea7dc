#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPalette>
#include <QWidget>

#include <cstdint>

// Colours as the design writes them: 0x00BBGGRR, red in the low byte.
// 0x800000nn names a system colour.
using ColorRef = std::uint32_t;

inline constexpr ColorRef SystemWindowBackground = 0x80000005;
inline constexpr ColorRef SystemWindowText = 0x80000008;

inline QColor toQColor(ColorRef ref, const QPalette &system = QPalette())
{
    if (ref == SystemWindowBackground)
        return system.color(QPalette::Base);
    if (ref == SystemWindowText)
        return system.color(QPalette::Text);
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

inline ColorRef toColorRef(const QColor &color)
{
    return ColorRef(color.red()) | ColorRef(color.green()) << 8 | ColorRef(color.blue()) << 16;
}

// A button's BackColor is its face; any other control's is its background.
inline QPalette::ColorRole backColorRole(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) ? QPalette::Button : QPalette::Window;
}

inline ColorRef backColor(const QWidget *widget)
{
    return toColorRef(widget->palette().color(backColorRole(widget)));
}

inline void setBackColor(QWidget *widget, ColorRef ref)
{
    QPalette palette = widget->palette();
    palette.setColor(backColorRole(widget), toQColor(ref));
    widget->setPalette(palette);
}
