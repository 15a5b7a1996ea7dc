#pragma once

class QApplication;

// What the program and its tests set up alike before the window exists:
// Fusion style, so coloured button faces look the same everywhere, and
// the window's default font.
void setUpApplication(QApplication &app);

// False, with the reason in one line on stderr, where Qt could not open a
// display and would abort.
bool displayAvailable();
