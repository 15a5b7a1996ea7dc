#pragma once

#include "core/colorref.h"

#include <QString>

// btStop's two faces. What a click does is decided by the form state; the
// caption only shows it.
inline constexpr char PauseCaptionText[] = "Berechnung anhalten"; // also at start
inline const QString PauseCaption = QString::fromUtf8(PauseCaptionText);
inline const QString ContinueCaption = QStringLiteral("Berechnung fortsetzen");
inline constexpr ColorRef RunningColor = 0x008080FF; // light red
inline constexpr ColorRef PausedColor = 0x0080FF80;  // light green
