#pragma once

class QCoreApplication;

// Installs Qt's own German translations (Debian's qt6-translations-l10n) on
// `app`, so that Qt's dialogs, buttons, context menus and command-line
// messages speak German like the program, whatever the system language.
// False where they are not installed; Qt then speaks English.
bool installGermanTranslations(QCoreApplication &app);
