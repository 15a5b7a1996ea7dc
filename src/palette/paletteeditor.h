#pragma once

#include "core/colorref.h"

#include <QObject>

#include <array>

class Platform;
class QLabel;
class QWidget;

// The eight swatch colours lblF0..lblF7 that the render run paints with:
// btF0..btF7 choose one in the colour dialog, a click on
// lblStandardfarben puts back the standard colours.
class PaletteEditor : public QObject
{
    Q_OBJECT

public:
    // `window` parents the colour dialog.
    PaletteEditor(const std::array<QLabel *, 8> &swatches, Platform &platform, QWidget *window,
                  QObject *parent = nullptr);

    // Opens the one shared colour dialog at the colour last confirmed in
    // it (black until the first OK). OK sets swatch n to the chosen colour
    // as a plain 0x00BBGGRR value; Cancel leaves the swatch as it was.
    void chooseColor(int n);

    // lblF0..lblF7, in this order, back to StandardColors. A run in
    // progress keeps the colours it read.
    void resetToStandard();

private:
    std::array<QLabel *, 8> m_swatches;
    Platform &m_platform;
    QWidget *m_window;
    ColorRef m_lastConfirmed = 0;
};
