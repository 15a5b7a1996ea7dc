#include "app/windowdesign.h"

#include "app/clickablelabel.h"
#include "core/drawing.h"
#include "core/standardcolors.h"
#include "core/surfacegeometry.h"
#include "form/backcolor.h"
#include "form/pausecaptions.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

enum class Kind { Label, TextField, Button, ClickLabel };
enum class Font { Default, ArialBold };
// Transparent labels show the window through their text; Filled controls
// paint `color` (labels with a flat one-pixel border, buttons as their face).
enum class Look { System, Transparent, Filled };

struct ControlDesign
{
    const char *name;
    Kind kind;
    int left, top, width, height; // twips
    const char *caption;
    const char *hint;
    Font font;
    Look look;
    ColorRef color;
    Qt::Alignment alignment;
};

constexpr Qt::Alignment Left = Qt::AlignLeft | Qt::AlignTop;
constexpr Qt::Alignment Right = Qt::AlignRight | Qt::AlignTop;
constexpr Qt::Alignment Centre = Qt::AlignHCenter | Qt::AlignTop;

const char *const FieldHint =
    "Zahlen zwischen -5 und +5 machen Sinn. Dezimaltrenner muß ein Komma sein.";

using enum Kind;
using enum Font;
using enum Look;

// Listed in the order the window stacks them: later ones lie in front.
const ControlDesign VisibleControls[] = {
    {"Label1", Label, 7560, 120, 495, 255, "X0 =", "", ArialBold, Transparent, 0, Left},
    {"txtX0", TextField, 7980, 120, 2235, 285, StartFieldTexts[0], FieldHint, ArialBold, System, 0, Left},
    {"Label2", Label, 7560, 420, 495, 255, "X1=", "", ArialBold, Transparent, 0, Left},
    {"txtX1", TextField, 7980, 420, 2235, 360, StartFieldTexts[1], FieldHint, ArialBold, System, 0, Left},
    {"Label3", Label, 7560, 720, 495, 255, "Y0 =", "", ArialBold, Transparent, 0, Left},
    {"txtY0", TextField, 7980, 720, 2235, 360, StartFieldTexts[2], FieldHint, ArialBold, System, 0, Left},
    {"Label4", Label, 7560, 1020, 495, 255, "Y1 =", "", ArialBold, Transparent, 0, Left},
    {"txtY1", TextField, 7980, 1020, 2235, 360, StartFieldTexts[3], FieldHint, ArialBold, System, 0, Left},
    {"Label5", Label, 7560, 1380, 735, 255, "Imax =", "", ArialBold, Transparent, 0, Left},
    {"txtMaxIter", TextField, 8280, 1380, 555, 360, StartFieldTexts[4],
     "Maximal werden 400 Iterationen dargestellt.", ArialBold, System, 0, Left},
    {"Label6", Label, 8880, 1500, 1335, 195, "Quirlbau-Team", "", Default, Transparent, 0, Left},
    {"btC", Button, 7980, 1800, 855, 315, "C", "Löscht alles", ArialBold, Filled, 0x000000FF, Left},
    {"cbStart", Button, 9360, 1800, 795, 315, "Start", "Startet die Berechnung neu", ArialBold,
     Filled, 0x0000FF00, Left},
    {"btStop", Button, 7980, 2160, 2175, 315, PauseCaptionText, "", Default, System, 0, Left},
    {"cbFC", Button, 7980, 2520, 2175, 315, "Nur Fraktal löschen", "", Default, Filled, 0x008080FF, Left},
    {"cbF1", Button, 7980, 2880, 2175, 255, "Fraktal1 laden", "Beispiel 1 - Fraktal berechnen", Default, System, 0, Left},
    {"cbF2", Button, 7980, 3180, 2175, 255, "Fraktal2 laden", "Beispiel 2 - Fraktal berechnen", Default, System, 0, Left},
    {"cbF3", Button, 7980, 3480, 2175, 255, "Fraktal3 laden", "Beispiel 3 - Fraktal berechnen", Default, System, 0, Left},
    {"cbF4", Button, 7980, 3780, 2175, 255, "Fraktal4 laden", "Beispiel 4 - Fraktal berechnen", Default, System, 0, Left},
    {"cbF5", Button, 7980, 4080, 2175, 255, "Fraktal5 laden", "Beispiel 5 - Fraktal berechnen", Default, System, 0, Left},
    {"cbF6", Button, 7980, 4380, 2175, 255, "Fraktal6 laden", "Beispiel 6 - Fraktal berechnen", Default, System, 0, Left},
    {"lblStandardfarben", ClickLabel, 8160, 4680, 2055, 195, "Farben neu zuordnen",
     "Doppelklick setzt auf Standardfarben zurück", Default, Transparent, 0, Centre},
    {"lblF0", Label, 7980, 4920, 495, 255, "", "", Default, Filled, StandardColors[0], Left},
    {"btF0", Button, 8520, 4920, 435, 255, "F0", "", Default, System, 0, Left},
    {"lblF4", Label, 9180, 4920, 495, 255, "", "", Default, Filled, StandardColors[4], Left},
    {"btF4", Button, 9720, 4920, 435, 255, "F4", "", Default, System, 0, Left},
    {"lblF1", Label, 7980, 5220, 495, 255, "", "", Default, Filled, StandardColors[1], Left},
    {"btF1", Button, 8520, 5220, 435, 255, "F1", "", Default, System, 0, Left},
    {"lblF5", Label, 9180, 5220, 495, 255, "", "", Default, Filled, StandardColors[5], Left},
    {"btF5", Button, 9720, 5220, 435, 255, "F5", "", Default, System, 0, Left},
    {"lblF2", Label, 7980, 5520, 495, 255, "", "", Default, Filled, StandardColors[2], Left},
    {"btF2", Button, 8520, 5520, 435, 255, "F2", "", Default, System, 0, Left},
    {"lblF6", Label, 9180, 5520, 495, 255, "", "", Default, Filled, StandardColors[6], Left},
    {"btF6", Button, 9720, 5520, 435, 255, "F6", "", Default, System, 0, Left},
    {"lblF3", Label, 7980, 5820, 495, 255, "", "", Default, Filled, StandardColors[3], Left},
    {"btF3", Button, 8520, 5820, 435, 255, "F3", "", Default, System, 0, Left},
    {"lblF7", Label, 9180, 5820, 495, 255, "", "", Default, Filled, StandardColors[7], Left},
    {"btF7", Button, 9720, 5820, 435, 255, "F7", "", Default, System, 0, Left},
    {"lblVergroeßerungText", Label, 60, 360, 1395, 1215,
     "Zur Ausschnitts- vergrößerung die linke obere Ecke der Zeichenfläche doppelklicken.", "",
     Default, Transparent, 0, Left},
    {"Label9", Label, 60, 3180, 1095, 195, "Bildpunkte:", "", Default, Transparent, 0, Left},
    {"lblPixel", Label, 60, 3420, 1275, 255, "", "", Default, Transparent, 0, Right},
    {"Label15", Label, 60, 3720, 1335, 135, "", "", Default, Filled, SystemWindowBackground, Left},
    {"lblBar", Label, 60, 3720, 195, 135, "", "", Default, Filled, 0x00FF0000, Left},
    {"Label7", Label, 60, 3960, 1095, 195, "Berechnungen:", "", Default, Transparent, 0, Left},
    {"lblCounts", Label, 60, 4200, 1275, 255, "", "", Default, Transparent, 0, Right},
};

// Never shown: their captions are storage for the handlers.
struct HiddenDesign
{
    const char *name;
    Kind kind;
    const char *caption;
};

const HiddenDesign HiddenControls[] = {
    {"lblXP0", Label, ""}, {"lblYP0", Label, ""}, {"lblXP1", Label, ""},
    {"lblYP1", Label, ""}, {"lblXP2", Label, ""}, {"lblYP2", Label, ""},
    {"lblI", Label, "1"},  {"lblJ", Label, "1"},
    {"lblX0", Label, ""},  {"lblX1", Label, ""},  {"lblY0", Label, ""},
    {"lblY1", Label, ""},  {"btInfo", Button, "?"},
};

// The frame of the drawing surface, from (x1, y1) to (x2, y2) in twips.
struct LineDesign
{
    const char *name;
    int x1, y1, x2, y2;
};

constexpr int L = SurfaceLeftTwips, T = SurfaceTopTwips;
constexpr int R = SurfaceRightTwips, B = SurfaceBottomTwips;
const LineDesign FrameLines[] = {
    {"Line1", L, T, L, B},
    {"Line2", L, B, R, B},
    {"Line3", L, T, R, T},
    {"Line4", R, B, R, T},
};

const char *const TabOrder[] = {
    "txtX0", "txtX1", "txtY0", "txtY1", "txtMaxIter", "btC", "cbStart", "cbF1",
    "cbF2", "btStop", "cbFC", "cbF3", "cbF4", "btF0", "btF1", "btF2", "btF3",
    "btF6", "btF4", "btF5", "btF7", "cbF5", "cbF6",
};

QFont arialBold()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Bold);
    return font;
}

QWidget *createControl(Kind kind, const QString &caption, QWidget *form)
{
    switch (kind) {
    case Label:
        return new QLabel(caption, form);
    case ClickLabel:
        return new ClickableLabel(caption, form);
    case TextField:
        return new QLineEdit(caption, form);
    case Button:
        return new QPushButton(caption, form);
    }
    return nullptr;
}

void applyLook(QWidget *widget, const ControlDesign &design)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        label->setAlignment(design.alignment);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
    }
    if (design.look != Filled)
        return;
    setBackColor(widget, design.color);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        label->setAutoFillBackground(true);
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
    }
}

QWidget *createLine(const LineDesign &design, QWidget *form)
{
    auto *line = new QFrame(form);
    line->setObjectName(QString::fromLatin1(design.name));
    const QPoint from = twipsToPixel(design.x1, design.y1);
    const QPoint to = twipsToPixel(design.x2, design.y2);
    line->setGeometry(QRect(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
                            QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y()))));
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, toQColor(SystemWindowText, form->palette()));
    line->setPalette(palette);
    // A double-click on a line is a double-click on the window.
    line->setAttribute(Qt::WA_TransparentForMouseEvents);
    return line;
}

template<typename T>
T *find(QWidget *form, const QString &name)
{
    T *widget = form->findChild<T *>(name, Qt::FindDirectChildrenOnly);
    Q_ASSERT_X(widget, "buildWindowDesign", qPrintable(name));
    return widget;
}

Controls findControls(QWidget *form)
{
    Controls c{};
    c.txtX0 = find<QLineEdit>(form, "txtX0");
    c.txtX1 = find<QLineEdit>(form, "txtX1");
    c.txtY0 = find<QLineEdit>(form, "txtY0");
    c.txtY1 = find<QLineEdit>(form, "txtY1");
    c.txtMaxIter = find<QLineEdit>(form, "txtMaxIter");
    c.btC = find<QPushButton>(form, "btC");
    c.cbStart = find<QPushButton>(form, "cbStart");
    c.btStop = find<QPushButton>(form, "btStop");
    c.cbFC = find<QPushButton>(form, "cbFC");
    c.btInfo = find<QPushButton>(form, "btInfo");
    for (int k = 1; k <= 6; ++k)
        c.cbF[k] = find<QPushButton>(form, QStringLiteral("cbF%1").arg(k));
    for (int n = 0; n < 8; ++n) {
        c.btF[n] = find<QPushButton>(form, QStringLiteral("btF%1").arg(n));
        c.lblF[n] = find<QLabel>(form, QStringLiteral("lblF%1").arg(n));
    }
    c.lblStandardfarben = find<ClickableLabel>(form, "lblStandardfarben");
    c.lblVergroeßerungText = find<QLabel>(form, QStringLiteral("lblVergroeßerungText"));
    c.lblPixel = find<QLabel>(form, "lblPixel");
    c.lblCounts = find<QLabel>(form, "lblCounts");
    c.lblBar = find<QLabel>(form, "lblBar");
    c.Label15 = find<QLabel>(form, "Label15");
    c.lblI = find<QLabel>(form, "lblI");
    c.lblJ = find<QLabel>(form, "lblJ");
    c.lblXP0 = find<QLabel>(form, "lblXP0");
    c.lblYP0 = find<QLabel>(form, "lblYP0");
    c.lblXP1 = find<QLabel>(form, "lblXP1");
    c.lblYP1 = find<QLabel>(form, "lblYP1");
    c.lblXP2 = find<QLabel>(form, "lblXP2");
    c.lblYP2 = find<QLabel>(form, "lblYP2");
    c.lblX0 = find<QLabel>(form, "lblX0");
    c.lblX1 = find<QLabel>(form, "lblX1");
    c.lblY0 = find<QLabel>(form, "lblY0");
    c.lblY1 = find<QLabel>(form, "lblY1");
    return c;
}

} // namespace

Controls buildWindowDesign(QWidget *form)
{
    for (const LineDesign &design : FrameLines)
        createLine(design, form);

    for (const ControlDesign &design : VisibleControls) {
        QWidget *widget = createControl(design.kind, QString::fromUtf8(design.caption), form);
        widget->setObjectName(QString::fromUtf8(design.name));
        widget->setGeometry(twipsToPixels(design.left, design.top, design.width, design.height));
        widget->setToolTip(QString::fromUtf8(design.hint));
        if (design.font == ArialBold)
            widget->setFont(arialBold());
        applyLook(widget, design);
    }

    for (const HiddenDesign &design : HiddenControls) {
        QWidget *widget = createControl(design.kind, QString::fromUtf8(design.caption), form);
        widget->setObjectName(QString::fromUtf8(design.name));
        widget->setFocusPolicy(Qt::NoFocus);
        widget->hide();
    }

    QWidget *previous = nullptr;
    for (const char *name : TabOrder) {
        QWidget *widget = find<QWidget>(form, QString::fromLatin1(name));
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    return findControls(form);
}
