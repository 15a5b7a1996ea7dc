#pragma once

#include "core/colorref.h"

#include <QString>

// btStop's two faces. What a click does is decided by the form state; the
// caption only shows it.
inline const QString PauseCaption = QStringLiteral("Berechnung anhalten");
inline const QString ContinueCaption = QStringLiteral("Berechnung fortsetzen");
inline constexpr ColorRef RunningColor = 0x008080FF; // light red
inline constexpr ColorRef PausedColor = 0x0080FF80;  // light green
