#pragma once

#include "app/colorref.h"

#include <QObject>

class MainWindow;

// The eight swatch colours lblF0..lblF7 that the render run paints with:
// btF0..btF7 choose one in the colour dialog, a click on
// lblStandardfarben puts back the standard colours.
class PaletteEditor : public QObject
{
    Q_OBJECT

public:
    explicit PaletteEditor(MainWindow &window, QObject *parent = nullptr);

    // Opens the one shared colour dialog at the colour last confirmed in
    // it (black until the first OK). OK sets swatch n to the chosen colour
    // as a plain 0x00BBGGRR value; Cancel leaves the swatch as it was.
    void chooseColor(int n);

    // lblF0..lblF7, in this order, back to StandardColors. A run in
    // progress keeps the colours it read.
    void resetToStandard();

private:
    MainWindow &m_window;
    ColorRef m_lastConfirmed = 0;
};
