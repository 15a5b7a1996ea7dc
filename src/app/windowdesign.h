#pragma once

#include "core/programinfo.h"

#include <QString>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class ClickableLabel;

// Every control of the window, found by its object name after the design
// has built them. The arrays are indexed as the names count (cbF[1] is
// "cbF1"; cbF[0] is unused).
struct Controls
{
    QLineEdit *txtX0, *txtX1, *txtY0, *txtY1, *txtMaxIter;
    QPushButton *btC, *cbStart, *btStop, *cbFC, *btInfo;
    std::array<QPushButton *, 7> cbF;
    std::array<QPushButton *, 8> btF;
    std::array<QLabel *, 8> lblF;
    ClickableLabel *lblStandardfarben;
    QLabel *lblVergroeßerungText, *lblPixel, *lblCounts, *lblBar, *Label15;
    QLabel *lblI, *lblJ;
    QLabel *lblXP0, *lblYP0, *lblXP1, *lblYP1, *lblXP2, *lblYP2;
    QLabel *lblX0, *lblX1, *lblY0, *lblY1;
};

// Builds every control of the design on `form`, hidden ones included, with
// its place, caption, hint, font and colours, and sets the Tab order.
Controls buildWindowDesign(QWidget *form);

// The caption that the window carries before its load handler runs.
inline const QString DesignCaption = QString::fromUtf8(ProgramName);
