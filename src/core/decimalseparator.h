#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

// The decimal separator that the field texts use: the default QLocale's,
// which is the system's unless someone set another default (tests do).
inline QChar decimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}
