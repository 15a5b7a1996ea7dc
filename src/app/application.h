#pragma once

class QApplication;

// What the program and its tests set up alike before the window exists:
// Fusion style, so coloured button faces look the same everywhere, and
// the window's default font.
void setUpApplication(QApplication &app);

// Around the QApplication's construction: Qt's messages wait until
// displayOpened(), which hands them on. Where Qt finds no display it can
// open, the program prints one line with the hint to run it under
// xvfb-run and exits with status 1 instead of Qt's lines and abort.
void watchForMissingDisplay();
void displayOpened();
