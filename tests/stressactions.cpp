#include "stressepisode.h"

#include "app/clickablelabel.h"
#include "fifteendigits.h"
#include "app/mainwindow.h"
#include "core/decimalseparator.h"
#include "form/inputmessage.h"
#include "core/numbertext.h"
#include "userinput.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

// The user's actions as the stress episode performs them, each with what
// it must change, and the comparison of the idle window with the account.

namespace {

} // namespace

void StressEpisode::stop()
{
    QPushButton *button = m_window->controls().btStop;
    if (m_expected.paused) {
        // The continue branch: the run in continue mode, nested in this click.
        ++m_stats.continues;
        m_expected.stopFace = LightGreen;
        m_expected.resumeRequested = true;
        clickRunButton(button);
        return;
    }
    clickOn(button);
    m_expected.stopFace = LightRed;
    m_expected.stopRequested = true;
    if (m_segment && !m_segment->stopAt)
        m_segment->stopAt = m_segment->drawnAtLastPass;
}

void StressEpisode::clearAll()
{
    const Controls &c = m_window->controls();
    clickOn(c.btC);
    ExpectedWindow &e = m_expected;
    e.picture.fill(Qt::transparent);
    e.lblCounts.clear();
    e.lblI = QStringLiteral("1");
    e.paused = false;
    e.stopFace = LightGreen;
    e.stopRequested = e.resumeRequested = false;
    expect(sectionTexts() == QStringList(4, QString()), QStringLiteral("btC leaves the four fields empty"));
}

void StressEpisode::preset(int k)
{
    const Controls &c = m_window->controls();
    const QString imax = c.txtMaxIter->text();
    clickOn(c.cbF[size_t(k)]);
    for (const QString &text : sectionTexts())
        expect(NumberText::toNumber(text, decimalSeparator()).has_value(),
               QStringLiteral("preset %1 wrote \"%2\", which is not a number").arg(k).arg(text));
    expect(c.txtMaxIter->text() == imax, QStringLiteral("preset %1 changed Imax").arg(k));
}

void StressEpisode::chooseColour(const Action &action)
{
    const Controls &c = m_window->controls();
    QLabel *swatch = c.lblF[size_t(action.index)];
    const ColorRef before = backColor(swatch);
    m_platform.colorAnswer = action.colour;
    clickOn(c.btF[size_t(action.index)]);
    ++m_expected.colourDialogs;
    const ColorRef wanted = action.colour ? toColorRef(*action.colour) : before;
    expect(backColor(swatch) == wanted, QStringLiteral("lblF%1 after its colour dialog").arg(action.index));
}

// Long texts are pasted, as a user brings them in.
void StressEpisode::edit(int field, const QString &text)
{
    const Controls &c = m_window->controls();
    const std::array<QLineEdit *, 5> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    QLineEdit *target = fields[size_t(field)];
    if (text.size() > 100) {
        QGuiApplication::clipboard()->setText(text);
        clickOn(target);
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    } else {
        typeInto(target, text);
    }
    expect(target->text() == text, QStringLiteral("%1 does not hold the text typed").arg(target->objectName()));
}

QStringList StressEpisode::sectionTexts() const
{
    const Controls &c = m_window->controls();
    return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text()};
}

// A double-click on a control does not reach the window; the others take
// the selection one step on.
void StressEpisode::zoom(QPoint position)
{
    const bool taken = m_window->childAt(position) == nullptr;
    const QStringList before = sectionTexts();
    const qsizetype messagesBefore = m_platform.messages.size();
    doubleClickAt(m_window.get(), position);
    ExpectedWindow &e = m_expected;
    if (taken && e.zoomStep == 2) {
        e.zoomStep = 0;
        finishSelection(position, before, messagesBefore);
        return;
    }
    expect(sectionTexts() == before, QStringLiteral("a double-click before the third changed a field"));
    if (!taken)
        return;
    (e.zoomStep == 0 ? m_zoomOrigin : m_zoomUpperLeft) = position;
    ++e.zoomStep;
}

// The third double-click: the four fields change to texts that read back
// as the new section, or stay as they were and the message box comes.
void StressEpisode::finishSelection(QPoint lowerRight, const QStringList &before,
                                    qsizetype messagesBefore)
{
    ++m_stats.selections;
    const QChar point = decimalSeparator();
    std::array<double, 4> old{};
    bool computable = true;
    for (size_t n = 0; n < old.size(); ++n) {
        const std::optional<double> value = NumberText::toNumber(before[qsizetype(n)], point);
        computable = computable && value;
        old[n] = value.value_or(0);
    }
    const double xp0 = m_zoomOrigin.x(), yp0 = m_zoomOrigin.y();
    const double xp1 = m_zoomUpperLeft.x(), yp1 = m_zoomUpperLeft.y(), xp2 = lowerRight.x();
    const double yp2 = (yp1 + xp2) - xp1;
    const std::array<double, 4> wanted{old[0] + (old[1] - old[0]) * ((xp1 - xp0) / 400),
                                       old[0] + (old[1] - old[0]) * ((xp2 - xp0) / 400),
                                       old[2] + (old[3] - old[2]) * ((yp1 - yp0) / 400),
                                       old[2] + (old[3] - old[2]) * ((yp2 - yp0) / 400)};
    for (const double value : wanted)
        computable = computable && std::isfinite(value);
    const QStringList after = sectionTexts();
    if (!computable) {
        ++m_expected.messages;
        expect(after == before, QStringLiteral("a selection that cannot be computed changed the fields"));
        expect(m_platform.messages.size() == messagesBefore + 1,
               QStringLiteral("a selection that cannot be computed gave no message"));
        return;
    }
    expect(m_platform.messages.size() == messagesBefore, QStringLiteral("a good selection gave a message"));
    for (size_t n = 0; n < wanted.size(); ++n) {
        const std::optional<double> back = NumberText::toNumber(after[qsizetype(n)], point);
        expect(back && *back == roundedTo15Digits(wanted[n]),
               QStringLiteral("after the selection field %1 reads \"%2\", expected %3")
                   .arg(n).arg(after[qsizetype(n)]).arg(wanted[n], 0, 'g', 17));
    }
}

void StressEpisode::closeWindow()
{
    m_window->close();
    m_expected.alive = false;
    expect(!m_window->isVisible() && !m_window->state().formAlive,
           QStringLiteral("the closed window is still there"));
    // Qt quits its event loop when the last visible window closes; the child
    // processes of tst_stress check that it really does.
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    expect(std::none_of(topLevels.begin(), topLevels.end(), [](QWidget *w) { return w->isVisible(); }),
           QStringLiteral("a window is still open after the close"));
    if (m_segment && !m_segment->closeAt)
        m_segment->closeAt = m_segment->drawnAtLastPass;
    else if (!m_segment)
        ++m_stats.closedIdle;
}

// One of the seventeen clicked while a run draws: nothing may change.
void StressEpisode::clickWithoutEffect(QPushButton *button)
{
    const Controls &c = m_window->controls();
    auto snapshot = [&] {
        QStringList texts = sectionTexts();
        texts << c.txtMaxIter->text() << c.btStop->text();
        for (QLabel *swatch : c.lblF)
            texts << QString::number(backColor(swatch));
        texts << QString::number(m_platform.messages.size())
              << QString::number(m_platform.colorDialogInitials.size());
        return texts;
    };
    const QStringList before = snapshot();
    const QImage picture = m_window->picture();
    clickOn(button);
    expect(snapshot() == before && m_window->picture() == picture,
           QStringLiteral("%1 acted while a run was drawing").arg(button->objectName()));
}

void StressEpisode::checkIdle()
{
    if (!m_expected.alive || !m_failure.isEmpty())
        return;
    const Controls &c = m_window->controls();
    const FormState &state = m_window->state();
    const ExpectedWindow &e = m_expected;
    checkSeventeen(true);
    const QString caption = e.paused ? ContinueText : PauseText;
    expect(c.btStop->text() == caption, QStringLiteral("btStop reads \"%1\", expected \"%2\"").arg(c.btStop->text(), caption));
    expect(backColor(c.btStop) == e.stopFace,
           QStringLiteral("btStop's face is %1, expected %2").arg(backColor(c.btStop), 6, 16).arg(e.stopFace, 6, 16));
    expect(state.stopRequested == e.stopRequested, QStringLiteral("stopRequested is %1").arg(state.stopRequested));
    expect(state.resumeRequested == e.resumeRequested, QStringLiteral("resumeRequested is %1").arg(state.resumeRequested));
    expect(c.lblI->text() == e.lblI && c.lblJ->text() == e.lblJ,
           QStringLiteral("lblI/lblJ read %1/%2, expected %3/%4").arg(c.lblI->text(), c.lblJ->text(), e.lblI, e.lblJ));
    expect(c.lblPixel->text() == e.lblPixel,
           QStringLiteral("lblPixel reads \"%1\", expected \"%2\"").arg(c.lblPixel->text(), e.lblPixel));
    expect(c.lblCounts->text() == e.lblCounts,
           QStringLiteral("lblCounts reads \"%1\", expected \"%2\"").arg(c.lblCounts->text(), e.lblCounts));
    expect(c.lblBar->width() == e.bar, QStringLiteral("lblBar is %1 px, expected %2").arg(c.lblBar->width()).arg(e.bar));
    expect(m_window->picture() == e.picture,
           QStringLiteral("the picture is not the points drawn since it was last cleared"));
    expect(m_platform.messages == QStringList(e.messages, InputMessageTitle + u'|' + InputMessageText),
           QStringLiteral("%1 message boxes, expected %2").arg(m_platform.messages.size()).arg(e.messages));
    expect(m_platform.colorDialogInitials.size() == e.colourDialogs, QStringLiteral("colour dialogs opened"));
    expect(state.zoomOriginSet == (e.zoomStep >= 1) && state.zoomCornerSet == (e.zoomStep == 2),
           QStringLiteral("zoom state after %1 double-clicks of the selection").arg(e.zoomStep));
}

void StressEpisode::checkSeventeen(bool enabled)
{
    const Controls &c = m_window->controls();
    QList<QPushButton *> seventeen{c.cbStart, c.btC, c.cbFC};
    for (int k = 1; k <= 6; ++k)
        seventeen.append(c.cbF[size_t(k)]);
    for (QPushButton *button : c.btF)
        seventeen.append(button);
    for (QPushButton *button : seventeen)
        expect(button->isEnabled() == enabled,
               QStringLiteral("%1 is %2 while %3").arg(button->objectName(),
                                                        enabled ? "disabled" : "enabled",
                                                        enabled ? "no run draws" : "a run draws"));
}
