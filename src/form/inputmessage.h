#pragma once

#include <QString>

// The one message for section or Imax texts that cannot be worked with,
// shown in a box titled with the application's name.
inline const QString InputMessageTitle = QStringLiteral("Quirlbau");
inline const QString InputMessageText =
    QStringLiteral("Bitte die eingegebenen Koordinaten für X, Y und Imax überprüfen!\n"
                   "Dezimaltrenner muß ein Komma sein.");
