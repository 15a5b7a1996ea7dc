#include "section/doubleclickzoom.h"

#include "core/decimalseparator.h"
#include "core/numbertext.h"
#include "core/zoomarithmetic.h"
#include "form/formstate.h"
#include "form/inputmessage.h"
#include "form/platform.h"

#include <QLabel>
#include <QLineEdit>

#include <cmath>
#include <optional>

namespace {

const QString IdleInstruction = QStringLiteral(
    "Zur Ausschnitts- vergrößerung die linke obere Ecke der Zeichenfläche doppelklicken.");
const QString OriginTakenInstruction =
    QStringLiteral("Jetzt die linke obere Ecke des gewuenschten Ausschnitts doppelklicken.");
const QString CornerTakenInstruction =
    QStringLiteral("Jetzt die rechte untere Ecke des gewuenschten Ausschnitts doppelklicken.");

std::optional<double> number(const QString &text)
{
    return NumberText::toNumber(text, decimalSeparator());
}

QString numberText(double value)
{
    return NumberText::fromNumber(value, decimalSeparator());
}

} // namespace

DoubleClickZoom::DoubleClickZoom(const Controls &controls, FormState &state, Platform &platform,
                                 QWidget *window, QObject *parent)
    : QObject(parent), m_controls(controls), m_state(state), m_platform(platform), m_window(window)
{
}

void DoubleClickZoom::takeDoubleClick(QPoint position)
{
    const FormState &state = m_state;
    if (!state.zoomOriginSet)
        takeOrigin(position);
    else if (!state.zoomCornerSet)
        takeUpperLeft(position);
    else
        takeLowerRight(position);
}

void DoubleClickZoom::takeOrigin(QPoint position)
{
    const Controls &c = m_controls;
    m_state.zoomOriginSet = true;
    c.lblXP0->setText(NumberText::fromWhole(position.x()));
    c.lblYP0->setText(NumberText::fromWhole(position.y()));
    for (QLabel *label : {c.lblXP1, c.lblYP1, c.lblXP2, c.lblYP2})
        label->clear();
    c.lblVergroeßerungText->setText(OriginTakenInstruction);
}

void DoubleClickZoom::takeUpperLeft(QPoint position)
{
    const Controls &c = m_controls;
    m_state.zoomCornerSet = true;
    c.lblXP1->setText(NumberText::fromWhole(position.x()));
    c.lblYP1->setText(NumberText::fromWhole(position.y()));
    c.lblVergroeßerungText->setText(CornerTakenInstruction);
}

// The y of this double-click is not used: the selection is always square.
// A field that is not a number or a step that overflows leaves the fields
// as they were and gets the message the render run gives for such texts.
void DoubleClickZoom::takeLowerRight(QPoint position)
{
    const Controls &c = m_controls;
    FormState &state = m_state;
    state.zoomCornerSet = false;
    state.zoomOriginSet = false;
    c.lblXP2->setText(NumberText::fromWhole(position.x()));

    if (!computeSection()) {
        // Idle all the same, and the caption must say what the next
        // double-click does.
        c.lblVergroeßerungText->setText(IdleInstruction);
        m_platform.messageBox(m_window, InputMessageTitle, InputMessageText);
        return;
    }
    c.txtX0->setText(c.lblX0->text());
    c.txtX1->setText(c.lblX1->text());
    c.txtY0->setText(c.lblY0->text());
    c.txtY1->setText(c.lblY1->text());
    c.lblVergroeßerungText->setText(IdleInstruction);
}

// Writes lblYP2 and the four result labels; false at the first value that
// cannot be had, with the labels up to there written.
bool DoubleClickZoom::computeSection()
{
    const Controls &c = m_controls;
    const std::optional<double> xp2 = number(c.lblXP2->text());
    const std::optional<double> xp1 = number(c.lblXP1->text());
    const std::optional<double> yp1 = number(c.lblYP1->text());
    if (!xp2 || !xp1 || !yp1)
        return false;
    const double yp2 = ZoomArithmetic::derivedCornerY(*xp1, *yp1, *xp2);
    if (!std::isfinite(yp2))
        return false;
    c.lblYP2->setText(numberText(yp2));

    return sectionLine(c.txtX0, c.txtX1, c.lblXP1, c.lblXP0, c.lblX0)
           && sectionLine(c.txtX0, c.txtX1, c.lblXP2, c.lblXP0, c.lblX1)
           && sectionLine(c.txtY0, c.txtY1, c.lblYP1, c.lblYP0, c.lblY0)
           && sectionLine(c.txtY0, c.txtY1, c.lblYP2, c.lblYP0, c.lblY1);
}

// One new coordinate from the fields' current texts (still the old section)
// and two position labels, written into `result`.
bool DoubleClickZoom::sectionLine(const QLineEdit *lower, const QLineEdit *upper,
                                  const QLabel *pixel, const QLabel *originPixel,
                                  QLabel *result) const
{
    const std::optional<double> low = number(lower->text());
    const std::optional<double> high = number(upper->text());
    const std::optional<double> at = number(pixel->text());
    const std::optional<double> origin = number(originPixel->text());
    if (!low || !high || !at || !origin)
        return false;
    const double value = ZoomArithmetic::sectionCoordinate(*low, *high, *at, *origin);
    if (!std::isfinite(value))
        return false;
    result->setText(numberText(value));
    return true;
}
