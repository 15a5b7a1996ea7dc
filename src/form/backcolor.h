#pragma once

#include "core/colorref.h"

#include <QAbstractButton>
#include <QColor>
#include <QPalette>
#include <QWidget>

inline constexpr ColorRef SystemWindowBackground = 0x80000005;
inline constexpr ColorRef SystemWindowText = 0x80000008;
// frmMain's BackColor: undrawn points of the drawing surface show it.
inline constexpr ColorRef WindowBackColor = 0x00FF80FF;

inline QColor toQColor(ColorRef ref, const QPalette &system = QPalette())
{
    if (ref == SystemWindowBackground)
        return system.color(QPalette::Base);
    if (ref == SystemWindowText)
        return system.color(QPalette::Text);
    return QColor(redOf(ref), greenOf(ref), blueOf(ref));
}

inline ColorRef toColorRef(const QColor &color)
{
    return colorRef(color.red(), color.green(), color.blue());
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
