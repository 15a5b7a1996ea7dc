#include "form/backcolor.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "form/inputmessage.h"
#include "runsteps.h"
#include "userinput.h"
#include "windowsnapshot.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The two clear buttons: cbFC removes the drawing, btC also the section
// and the pause state of the render run.
class tst_Clear : public WindowTest
{
    Q_OBJECT

public:
    tst_Clear() : WindowTest(QLocale(QLocale::German, QLocale::Germany), Events::EveryMillisecond) {}

private slots:
    void clearFractalRemovesPointsOnly();
    void clearAllResetsSectionAndPause();
    void clearAllDuringSelection();
    void clearOnEmptySurface_data();
    void clearOnEmptySurface();
    void clearFractalOnPausedRun();
    void clearAllOnPausedRun_data();
    void clearAllOnPausedRun();
    void startRightAfterClearAll();

private:
    void arrangeBusyWindow();
    QStringList snapshot() const { return windowSnapshot(*m_window); }
    QColor shownAt(QPoint pixel) const;
    void fillSection(const QStringList &texts);
};

namespace {

constexpr ColorRef FormBackColor = 0x00FF80FF;
constexpr ColorRef Red = 0x000000FF;
constexpr int PointTwips = 3000;
const QPoint PointPixel(200, 200); // where (3000, 3000) twips shows
const QRect SurfaceInWindow(96, 4, 400, 400);
const QString InputMessage = InputMessageTitle + QLatin1Char('|') + InputMessageText;

// What btC changes: the section fields, the counter and the pause state.
QStringList afterClearAll(QStringList lines)
{
    for (const char *name : {"txtX0", "txtX1", "txtY0", "txtY1", "lblCounts"})
        lines = withValue(lines, QString::fromLatin1(name), QString());
    lines = withValue(lines, QStringLiteral("lblI"), QStringLiteral("1"));
    lines = withValue(lines, QStringLiteral("btStop"), QStringLiteral("Berechnung anhalten"));
    lines = withValue(lines, QStringLiteral("btStop.BackColor"), hexColor(0x0080FF80));
    lines = withValue(lines, QStringLiteral("stopRequested"), QStringLiteral("0"));
    return withValue(lines, QStringLiteral("resumeRequested"), QStringLiteral("0"));
}

} // namespace

// What a paused run, an edited palette and a begun zoom leave behind. The
// run's own captions and flags are set directly: this area only reads them.
void tst_Clear::arrangeBusyWindow()
{
    const Controls &c = m_window->controls();
    typeInto(c.txtMaxIter, QStringLiteral("250"));
    m_platform->colorAnswer = QColor(10, 20, 30);
    clickOn(c.btF[6]);
    doubleClickAt(m_window, {100, 200});
    doubleClickAt(m_window, {150, 220});

    FormState &state = m_window->state();
    state.stopRequested = true;
    state.resumeRequested = true;
    c.lblCounts->setText(QStringLiteral("1.234.567"));
    c.lblPixel->setText(QStringLiteral("12.345"));
    c.lblI->setText(QStringLiteral("1171"));
    c.lblJ->setText(QStringLiteral("2393"));
    c.lblBar->resize(40, c.lblBar->height());
    c.btStop->setText(QStringLiteral("Berechnung fortsetzen"));
    setBackColor(c.btStop, 0x008080FF);
    m_window->surface().setPoint({PointTwips, PointTwips}, Red);
    m_window->surface().showPoints();
    QCOMPARE(shownAt(PointPixel), toQColor(Red));
}

// The window as the screen shows it, in logical pixels.
QColor tst_Clear::shownAt(QPoint pixel) const
{
    return m_window->grab().toImage().pixelColor(pixel);
}

void tst_Clear::clearFractalRemovesPointsOnly()
{
    arrangeBusyWindow();
    const QStringList before = snapshot();

    clickOn(m_window->controls().cbFC);

    QCOMPARE(shownAt(PointPixel), toQColor(FormBackColor));
    QCOMPARE(snapshot(), before);
}

void tst_Clear::clearAllResetsSectionAndPause()
{
    arrangeBusyWindow();
    const QStringList expected = afterClearAll(snapshot());

    clickOn(m_window->controls().btC);

    QCOMPARE(shownAt(PointPixel), toQColor(FormBackColor));
    QCOMPARE(snapshot(), expected);
}

// The zoom state survives btC; the selection goes on with the next section
// loaded into the emptied fields.
void tst_Clear::clearAllDuringSelection()
{
    const Controls &c = m_window->controls();
    doubleClickAt(m_window, {100, 200});
    clickOn(c.btC);
    clickOn(c.cbF[6]);
    doubleClickAt(m_window, {200, 300});
    doubleClickAt(m_window, {300, 999});

    QCOMPARE((QStringList{c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text()}),
             (QStringList{"-1,4024375", "-1,402375", "0,0003125", "0,000375"}));
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Clear::clearOnEmptySurface_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("cbFC") << "cbFC";
    QTest::newRow("btC") << "btC";
}

void tst_Clear::clearOnEmptySurface()
{
    QFETCH(QString, button);
    const QImage before = m_window->grab().toImage();
    const QRect surface(96, 4, 400, 400);
    clickOn(m_window->findChild<QPushButton *>(button));
    QCOMPARE(m_window->grab().toImage().copy(surface), before.copy(surface));
}

void tst_Clear::fillSection(const QStringList &texts)
{
    const Controls &c = m_window->controls();
    const QList<QLineEdit *> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    for (qsizetype n = 0; n < fields.size(); ++n)
        typeInto(fields[n], texts[n]);
}

// The paused run does not notice: continuing draws the remaining columns
// onto the cleared surface, and the columns drawn before stay cleared.
void tst_Clear::clearFractalOnPausedRun()
{
    const Controls &c = m_window->controls();
    const qint64 paused = startAndPause(*m_window);
    QVERIFY(paused > 3 * GridPoints && paused < RunPoints);
    const QStringList before = snapshot();

    clickOn(c.cbFC);

    QCOMPARE(m_window->picture(), blankPicture());
    QCOMPARE(snapshot(), before);

    clickOn(c.btStop);

    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    const qint64 columnStart = pausedColumnStart(paused);
    QImage expected = blankPicture();
    paint(expected, counts, columnStart, RunPoints);
    QCOMPARE(m_window->picture(), expected);
    QCOMPARE(m_window->state().pixelCount, paused + RunPoints - columnStart);
    QCOMPARE(c.lblCounts->text(),
             grouped(countsTotal(counts, 0, paused) + countsTotal(counts, columnStart, RunPoints)));
    // The third column lies left of the paused one and clear of the frame line.
    const QPoint early = pixelOf(2 * GridPoints + 200);
    QCOMPARE(shownAt(SurfaceInWindow.topLeft() + early), toQColor(FormBackColor));
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Clear::clearAllOnPausedRun_data()
{
    QTest::addColumn<bool>("continueFailed");
    QTest::newRow("paused") << false;
    // A continue that failed over an empty Imax leaves resumeRequested set,
    // so without btC the next Start would continue.
    QTest::newRow("paused, continue failed") << true;
}

// btC ends the paused run for good: the next Start, with the fields filled
// in again, is a fresh run from the first column.
void tst_Clear::clearAllOnPausedRun()
{
    QFETCH(bool, continueFailed);
    const Controls &c = m_window->controls();
    const qint64 paused = startAndPause(*m_window);
    QVERIFY(paused > 0 && paused < RunPoints);
    if (continueFailed) {
        typeInto(c.txtMaxIter, QString());
        clickOn(c.btStop);
        QCOMPARE(m_platform->messages, QStringList{InputMessage});
        QVERIFY(m_window->state().resumeRequested);
        m_platform->messages.clear();
    }
    const QStringList expected = afterClearAll(snapshot());

    clickOn(c.btC);

    QCOMPARE(snapshot(), expected);
    QCOMPARE(m_window->picture(), blankPicture());

    fillSection({"-1,4025", "-1,4020", "0,0000", "0,0005", "300"});
    QString firstColumnAtFirstPass;
    QTimer::singleShot(0, m_window, [&] { firstColumnAtFirstPass = c.lblI->text(); });
    clickOn(c.cbStart);

    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    QCOMPARE(firstColumnAtFirstPass, QStringLiteral("1"));
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QCOMPARE(c.lblPixel->text(), grouped(RunPoints));
    QCOMPARE(c.lblCounts->text(), grouped(countsTotal(counts, 0, RunPoints)));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(backColor(c.btStop), ColorRef(0x008080FF));
}

// The emptied fields are no section: the message box, nothing drawn, and
// nothing changed but the counter a fresh start zeroes before it reads.
void tst_Clear::startRightAfterClearAll()
{
    const Controls &c = m_window->controls();
    const qint64 paused = startAndPause(*m_window);
    QVERIFY(paused > 0 && paused < RunPoints);
    clickOn(c.btC);
    const QStringList cleared = snapshot();

    clickOn(c.cbStart);

    QCOMPARE(m_platform->messages, QStringList{InputMessage});
    QCOMPARE(m_window->picture(), blankPicture());
    QCOMPARE(snapshot(), withValue(cleared, QStringLiteral("lblCounts"), QStringLiteral("0")));
    QVERIFY(c.cbStart->isEnabled());
    QVERIFY(c.btC->isEnabled());
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_Clear>(argc, argv);
}

#include "tst_clear.moc"
