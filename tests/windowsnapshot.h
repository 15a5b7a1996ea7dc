#pragma once

#include "form/backcolor.h"
#include "app/mainwindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

// Everything but the picture that a handler might touch, as "name=value"
// lines, so that a failed comparison shows which one differs.

inline QString hexColor(ColorRef ref)
{
    return QStringLiteral("0x%1").arg(ref, 8, 16, QChar(u'0'));
}

inline QStringList windowSnapshot(MainWindow &window)
{
    const Controls &c = window.controls();
    const FormState &state = window.state();
    QStringList lines;
    auto add = [&lines](const QString &name, const QString &value) {
        lines.append(name + QLatin1Char('=') + value);
    };
    for (const QLineEdit *field : {c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter})
        add(field->objectName(), field->text());
    for (const QLabel *label : {c.lblCounts, c.lblPixel, c.lblI, c.lblJ, c.lblVergroeßerungText,
                                c.lblXP0, c.lblYP0, c.lblXP1, c.lblYP1, c.lblXP2, c.lblYP2,
                                c.lblX0, c.lblX1, c.lblY0, c.lblY1})
        add(label->objectName(), label->text());
    add(QStringLiteral("lblBar.width"), QString::number(c.lblBar->width()));
    add(QStringLiteral("btStop"), c.btStop->text());
    add(QStringLiteral("btStop.BackColor"), hexColor(backColor(c.btStop)));
    for (const QLabel *swatch : c.lblF)
        add(swatch->objectName(), hexColor(backColor(swatch)));
    add(QStringLiteral("stopRequested"), QString::number(state.stopRequested));
    add(QStringLiteral("resumeRequested"), QString::number(state.resumeRequested));
    add(QStringLiteral("zoomOriginSet"), QString::number(state.zoomOriginSet));
    add(QStringLiteral("zoomCornerSet"), QString::number(state.zoomCornerSet));
    add(QStringLiteral("pixelCount"), QString::number(state.pixelCount));
    add(QStringLiteral("lastCount"), QString::number(state.lastCount));
    return lines;
}

// The snapshot with the line of `name` set to `value`.
inline QStringList withValue(QStringList lines, const QString &name, const QString &value)
{
    const QString prefix = name + QLatin1Char('=');
    for (QString &line : lines) {
        if (line.startsWith(prefix))
            line = prefix + value;
    }
    return lines;
}

// The names whose values differ between two snapshots of the same window.
inline QStringList changedNames(const QStringList &before, const QStringList &after)
{
    QStringList names;
    for (qsizetype n = 0; n < before.size() && n < after.size(); ++n) {
        if (before[n] != after[n])
            names.append(before[n].section(QLatin1Char('='), 0, 0));
    }
    return names;
}
