#pragma once

#include "core/programinfo.h"

#include <QString>

// The one message for section or Imax texts that cannot be worked with,
// shown in a box titled with the application's name.
inline const QString InputMessageTitle = QString::fromUtf8(ProgramName);
inline const QString InputMessageText =
    QStringLiteral("Bitte die eingegebenen Koordinaten für X, Y und Imax überprüfen!\n"
                   "Dezimaltrenner muß ein Komma sein.");
