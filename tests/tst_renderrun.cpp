#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "expectedpicture.h"
#include "fakeplatform.h"
#include "render/renderrun.h"
#include "workerthreads.h"
#include "userinput.h"
#include "windowsnapshot.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <numeric>
#include <vector>

// The render run and btStop, driven through the real window as a user
// drives it; what a run should draw comes from the kernel and the table.
class tst_RenderRun : public WindowTest
{
    Q_OBJECT

public:
    tst_RenderRun() : WindowTest(QLocale(QLocale::German, QLocale::Germany), Events::EveryMillisecond) {}

private slots:
    void init();
    void cleanup();

    void completeRun_data();
    void completeRun();
    void picture_data();
    void picture();
    void failedStart_data();
    void failedStart();
    void pauseAndContinue();
    void failedContinueStaysInContinueMode();
    void startWhilePausedStartsOver();
    void strayStopWhileIdleDoesNotPause();
    void continueReadsTotalBeyond32Bits_data();
    void continueReadsTotalBeyond32Bits();
    void closeMidRun();
    void closeMidRunExitsWithZero();
    void handlersSeeTheLastPointComputed();
    void fastKernelDrawsWhatPlainDraws_data();
    void fastKernelDrawsWhatPlainDraws();
    void pauseWhileAColumnIsLate();
    void closeWhileAColumnIsLate();
    void lateFirstColumnEventsStillComeAfterAPoint();
    void onlyHarmlessControlsLiveDuringRun();
    void pointsShowOverFrameLines();

private:
    void clickStart() { QTest::mouseClick(m_window->controls().cbStart, Qt::LeftButton); }
    void clickStop() { QTest::mouseClick(m_window->controls().btStop, Qt::LeftButton); }
    void pauseAtFirstEventPass();
    void checkPaused(qint64 pointsDrawn);
    void type(QLineEdit *field, const QString &text);
    QList<QWidget *> seventeen() const;
    QString text(QLabel *label) const { return label->text(); }
    RenderRun *renderRun() const { return m_window->findChild<RenderRun *>(); }
    void enterFields(const QStringList &fields);

    qint64 m_pausedAt = 0;
};

Q_DECLARE_METATYPE(RunSection)

namespace {

const QLocale German(QLocale::German, QLocale::Germany);
const std::string WorkerName = "quirl-columns"; // ColumnsAhead::WorkerName
// A sliver at the Feigenbaum point, Imax 32767: orbits that never repeat
// exactly, so every column takes the workers some milliseconds, far longer
// than drawing it.
const QStringList SlowFields{"-1,4011551890921", "-1,4011551890919", "-0,0000000000001",
                             "0,0000000000001", "32767"};
const RunSection Slow{-1.4011551890921, -1.4011551890919, -0.0000000000001, 0.0000000000001, 32767};
const QString Message = QStringLiteral(
    "Quirlbau|Bitte die eingegebenen Koordinaten für X, Y und Imax überprüfen!\n"
    "Dezimaltrenner muß ein Komma sein.");

std::int64_t sum(const std::vector<std::int16_t> &counts, qsizetype from, qsizetype to)
{
    return std::accumulate(counts.begin() + from, counts.begin() + to, std::int64_t(0));
}

// The first `points` counts of a run in run order (kernelCounts computes
// all of them, too slow at Imax 32767).
std::vector<std::int16_t> firstCounts(const RunSection &s, qint64 points)
{
    std::vector<std::int16_t> counts;
    for (qint64 k = 0; k < points; ++k)
        counts.push_back(punkt_iteration(gridReal(s.x0, s.x1, columnOf(k)),
                                         gridImag(s.y0, s.y1, rowOf(k)), EscapeBound, s.imax));
    return counts;
}

int barPixels(int column)
{
    return int(std::lround(float(double(column) * 1335 / 6000) / 15.0));
}

// Records the order in which widgets change their enabled state.
class EnabledOrder : public QObject
{
public:
    explicit EnabledOrder(const QList<QWidget *> &widgets)
    {
        for (QWidget *widget : widgets)
            widget->installEventFilter(this);
    }
    QStringList changes;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange) {
            auto *widget = static_cast<QWidget *>(watched);
            changes.append((widget->isEnabled() ? u'+' : u'-') + widget->objectName());
        }
        return false;
    }
};

} // namespace

void tst_RenderRun::init()
{
    WindowTest::init();
    m_pausedAt = 0;
}

void tst_RenderRun::cleanup()
{
    WindowTest::cleanup();
    // Every end of a run joins the workers that computed its columns.
    QTRY_COMPARE(threadsNamed(WorkerName), 0);
}

QList<QWidget *> tst_RenderRun::seventeen() const
{
    const Controls &c = m_window->controls();
    return {c.cbStart, c.btC,    c.cbFC,   c.cbF[1], c.cbF[2], c.cbF[3],
            c.cbF[4],  c.cbF[5], c.cbF[6], c.btF[0], c.btF[1], c.btF[2],
            c.btF[3],  c.btF[4], c.btF[5], c.btF[6], c.btF[7]};
}

void tst_RenderRun::type(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QCOMPARE(field->text(), text);
}

void tst_RenderRun::enterFields(const QStringList &fields)
{
    const Controls &c = m_window->controls();
    const QList<QLineEdit *> edits{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    for (int n = 0; n < edits.size(); ++n)
        type(edits[n], fields[n]);
}

// As a user's click would: the click waits in the queue until the run lets
// events run for the first time.
void tst_RenderRun::pauseAtFirstEventPass()
{
    QTimer::singleShot(0, m_window, [this] {
        m_pausedAt = m_window->state().pixelCount;
        clickStop();
    });
}

void tst_RenderRun::checkPaused(qint64 pointsDrawn)
{
    const Controls &c = m_window->controls();
    QVERIFY(pointsDrawn > 0 && pointsDrawn < RunPoints);
    QCOMPARE(m_window->state().pixelCount, pointsDrawn);
    QCOMPARE(c.lblI->text(), QString::number(columnOf(pointsDrawn - 1)));
    QCOMPARE(c.lblJ->text(), QString::number(rowOf(pointsDrawn - 1)));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung fortsetzen"));
    QCOMPARE(backColor(c.btStop), ColorRef(0x0080FF80));
    QVERIFY(!m_window->state().stopRequested);
    for (QWidget *control : seventeen())
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
}

void tst_RenderRun::completeRun_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("pixelCaption");
    QTest::newRow("german") << German << QStringLiteral("213.444");
    QTest::newRow("c-locale") << QLocale::c() << QStringLiteral("213,444");
}

void tst_RenderRun::completeRun()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, pixelCaption);
    QLocale::setDefault(locale);
    const Controls &c = m_window->controls();
    renderRun()->setEventInterval(RenderRun::DefaultEventIntervalMs);
    EnabledOrder order(seventeen());

    clickStart();

    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QCOMPARE(text(c.lblPixel), pixelCaption);
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, RunPoints)));
    QCOMPARE(m_window->state().lastCount, counts.back());
    QCOMPARE(c.lblBar->width(), c.Label15->width());
    QCOMPARE(c.lblBar->width(), barPixels(5994));
    QCOMPARE(text(c.lblI), QStringLiteral("1"));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(backColor(c.btStop), ColorRef(0x008080FF));
    QVERIFY(m_platform->messages.isEmpty());

    QStringList expectedOrder;
    for (const char sign : {'-', '+'})
        for (QWidget *control : seventeen())
            expectedOrder.append(QLatin1Char(sign) + control->objectName());
    QCOMPARE(order.changes, expectedOrder);

    // The first point lies at (1441, 6059) twips, the last at (7434, 66).
    QCOMPARE(pixelOf(0), QPoint(0, 399));
    QCOMPARE(pixelOf(RunPoints - 1), QPoint(399, 0));
    QCOMPARE(counts.front(), punkt_iteration(-1.4025 + (1 * (-1.4020 - -1.4025)) / 6000,
                                             0.0005 - (1 * (0.0005 - 0.0)) / 6000, 5.0, 300));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
}

void tst_RenderRun::picture_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<RunSection>("section");

    QTest::newRow("start section")
        << QStringList{"-1,4025", "-1,4020", "0,0000", "0,0005", "300"} << StartSection;
    QTest::newRow("x0 > x1 mirrors left to right")
        << QStringList{"-1,4020", "-1,4025", "0,0000", "0,0005", "300"}
        << RunSection{-1.4020, -1.4025, 0.0, 0.0005, 300};
    QTest::newRow("y0 > y1 mirrors top to bottom")
        << QStringList{"-1,4025", "-1,4020", "0,0005", "0,0000", "300"}
        << RunSection{-1.4025, -1.4020, 0.0005, 0.0, 300};
    QTest::newRow("imax 0: all F7") << QStringList{"-2", "2", "-2", "2", "0"}
                                    << RunSection{-2, 2, -2, 2, 0};
    QTest::newRow("imax 2,5 rounds to 2") << QStringList{"-2", "2", "-2", "2", "2,5"}
                                          << RunSection{-2, 2, -2, 2, 2};
}

void tst_RenderRun::picture()
{
    QFETCH(QStringList, fields);
    QFETCH(RunSection, section);
    const Controls &c = m_window->controls();
    const QList<QLineEdit *> edits{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    for (int n = 0; n < edits.size(); ++n)
        type(edits[n], fields[n]);

    clickStart();

    const std::vector<std::int16_t> counts = kernelCounts(section);
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(text(c.lblPixel), QStringLiteral("213.444"));
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, RunPoints)));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
    if (section.imax == 0) {
        QCOMPARE(text(c.lblCounts), QStringLiteral("0"));
        QCOMPARE(m_window->picture().pixelColor(200, 200), QColor(Qt::black));
    }
}

void tst_RenderRun::failedStart_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("imax empty") << "txtMaxIter" << "";
    QTest::newRow("imax 40000") << "txtMaxIter" << "40000";
    QTest::newRow("x0 not a number") << "txtX0" << "abc";
}

void tst_RenderRun::failedStart()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    const Controls &c = m_window->controls();
    type(m_window->findChild<QLineEdit *>(field), text);
    const ColorRef designFace = backColor(c.btStop);

    clickStart();

    QCOMPARE(m_platform->messages, QStringList{Message});
    QCOMPARE(m_window->picture(), blankPicture());
    for (QWidget *control : seventeen())
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(c.lblI->text(), QStringLiteral("1"));
    QCOMPARE(c.lblCounts->text(), QStringLiteral("0"));
    QCOMPARE(c.lblPixel->text(), QString());
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(backColor(c.btStop), designFace);
    QCOMPARE(m_window->state().pixelCount, 0);
}

// Imax is edited during the pause: the continued run reads it afresh and
// computes the column of the pause again from J = 1 with the new limit.
void tst_RenderRun::pauseAndContinue()
{
    const Controls &c = m_window->controls();
    pauseAtFirstEventPass();
    clickStart();

    const qint64 paused = m_pausedAt;
    checkPaused(paused);
    const std::vector<std::int16_t> counts300 = kernelCounts(StartSection);
    QCOMPARE(text(c.lblPixel), grouped(paused));
    QCOMPARE(text(c.lblCounts), grouped(sum(counts300, 0, paused)));
    QImage picture = blankPicture();
    paint(picture, counts300, 0, paused);
    QCOMPARE(m_window->picture(), picture);

    type(c.txtMaxIter, QStringLiteral("100"));
    clickStop();

    RunSection section100 = StartSection;
    section100.imax = 100;
    const std::vector<std::int16_t> counts100 = kernelCounts(section100);
    const qint64 columnStart = (paused - 1) / GridPoints * GridPoints;
    QCOMPARE(m_window->state().pixelCount, paused + RunPoints - columnStart);
    QCOMPARE(text(c.lblPixel), grouped(paused + RunPoints - columnStart));
    QCOMPARE(text(c.lblCounts),
             grouped(sum(counts300, 0, paused) + sum(counts100, columnStart, RunPoints)));
    paint(picture, counts100, columnStart, RunPoints);
    QCOMPARE(m_window->picture(), picture);
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(backColor(c.btStop), ColorRef(0x008080FF));
    QVERIFY(!m_window->state().resumeRequested);
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_RenderRun::failedContinueStaysInContinueMode()
{
    const Controls &c = m_window->controls();
    // This time the pause comes through the platform's own event pass.
    m_platform->onDoEvents = [this] {
        m_platform->onDoEvents = nullptr;
        m_pausedAt = m_window->state().pixelCount;
        clickStop();
    };
    clickStart();
    const qint64 paused = m_pausedAt;
    checkPaused(paused);

    type(c.txtMaxIter, QString());
    clickStop();
    QCOMPARE(m_platform->messages, QStringList{Message});
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung fortsetzen"));
    QCOMPARE(backColor(c.btStop), ColorRef(0x0080FF80));
    QVERIFY(m_window->state().resumeRequested);
    QCOMPARE(m_window->state().pixelCount, paused);
    for (QWidget *control : seventeen())
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));

    // Once the field is right again, Start continues rather than starts over.
    type(c.txtMaxIter, QStringLiteral("300"));
    clickStart();
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    const qint64 columnStart = (paused - 1) / GridPoints * GridPoints;
    QCOMPARE(m_platform->messages.size(), 1);
    QCOMPARE(m_window->state().pixelCount, paused + RunPoints - columnStart);
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, paused) + sum(counts, columnStart, RunPoints)));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
    QVERIFY(!m_window->state().resumeRequested);
}

void tst_RenderRun::startWhilePausedStartsOver()
{
    const Controls &c = m_window->controls();
    pauseAtFirstEventPass();
    clickStart();
    checkPaused(m_pausedAt);
    const int barWhilePaused = c.lblBar->width();

    // At the first event pass of the new run: counters and position reset,
    // the bar as the pause left it unless a column is already done.
    bool looked = false;
    m_platform->onDoEvents = [&] {
        m_platform->onDoEvents = nullptr;
        looked = true;
        const qint64 drawn = m_window->state().pixelCount;
        QCOMPARE(text(c.lblI), QStringLiteral("1"));
        QCOMPARE(text(c.lblPixel), grouped(drawn));
        QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
        QCOMPARE(backColor(c.btStop), ColorRef(0x008080FF));
        if (drawn < GridPoints)
            QCOMPARE(c.lblBar->width(), barWhilePaused);
    };
    clickStart();

    QVERIFY(looked);
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, RunPoints)));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(text(c.lblI), QStringLiteral("1"));
}

void tst_RenderRun::strayStopWhileIdleDoesNotPause()
{
    const Controls &c = m_window->controls();
    clickStop();
    QVERIFY(m_window->state().stopRequested);
    QCOMPARE(backColor(c.btStop), ColorRef(0x008080FF));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    QCOMPARE(m_window->state().pixelCount, 0);
    QCOMPARE(m_platform->doEventsCalls, 0);

    clickStart();
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QVERIFY(!m_window->state().stopRequested);
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
}

void tst_RenderRun::continueReadsTotalBeyond32Bits_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("german") << German;
    QTest::newRow("c-locale") << QLocale::c();
}

// Regression: the paused total was read back as a 32-bit integer, so a long
// run could never be continued. The total stands for one that a run at
// Imax 32767 reaches after some 65,000 points.
void tst_RenderRun::continueReadsTotalBeyond32Bits()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    const Controls &c = m_window->controls();
    pauseAtFirstEventPass();
    clickStart();
    const qint64 paused = m_pausedAt;
    checkPaused(paused);

    const std::int64_t longTotal = 7'000'000'000;
    m_window->state().pausedTotal = longTotal;
    c.lblCounts->setText(grouped(longTotal));
    clickStop();

    QVERIFY(m_platform->messages.isEmpty());
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    const qint64 columnStart = (paused - 1) / GridPoints * GridPoints;
    QCOMPARE(text(c.lblCounts), grouped(longTotal + sum(counts, columnStart, RunPoints)));
    QCOMPARE(m_window->state().pixelCount, paused + RunPoints - columnStart);
}

// The run computes the point after the close, then ends without enabling
// anything, without a message and without another event pass.
void tst_RenderRun::closeMidRun()
{
    const Controls &c = m_window->controls();
    qint64 closedAt = 0;
    m_platform->onDoEvents = [&] {
        m_platform->onDoEvents = nullptr;
        closedAt = m_window->state().pixelCount;
        m_window->close();
    };
    clickStart();

    QVERIFY(closedAt > 0);
    QVERIFY(!m_window->state().formAlive);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->state().pixelCount, closedAt + 1);
    QCOMPARE(m_platform->doEventsCalls, 1);
    QVERIFY(m_platform->messages.isEmpty());
    for (QWidget *control : seventeen())
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
}

// The whole program: closing its window mid-run ends the process normally.
void tst_RenderRun::closeMidRunExitsWithZero()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--close-mid-run")});
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAllStandardOutput();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QList<QByteArray> fields = output.trimmed().split(' ');
    QCOMPARE(fields.size(), 6);
    QCOMPARE(fields[0], QByteArray("points"));
    QVERIFY(fields[1].toInt() > 0 && fields[1].toInt() < RunPoints);
    QCOMPARE(fields[2], QByteArray("messages"));
    QCOMPARE(fields[3], QByteArray("0"));
    // Once the run learns that the window is gone, it writes nothing more.
    QCOMPARE(fields[4], QByteArray("changed"));
    QCOMPARE(fields[5], QByteArray("none"));
}

// Every time the event loop runs a handler during a run, the counters, the
// bar and the picture show exactly the points computed so far.
void tst_RenderRun::handlersSeeTheLastPointComputed()
{
    const Controls &c = m_window->controls();
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    std::vector<std::int64_t> totals(counts.size() + 1, 0);
    for (size_t k = 0; k < counts.size(); ++k)
        totals[k + 1] = totals[k] + counts[k];

    QStringList mismatches;
    int looks = 0;
    QTimer handler;
    handler.setInterval(0);
    connect(&handler, &QTimer::timeout, this, [&] {
        const qint64 drawn = m_window->state().pixelCount;
        if (drawn == 0 || drawn == RunPoints)
            return;
        ++looks;
        // A column's bar follows the pass after its last point.
        const int columnsDone = int((drawn - 1) / GridPoints);
        const int bar = columnsDone == 0 ? 0 : barPixels(columnOf(qint64(columnsDone) * GridPoints - 1));
        const QColor last = toQColor(StandardColors[size_t(swatchForCount(counts[size_t(drawn - 1)]))]);
        if (text(c.lblPixel) != grouped(drawn) || text(c.lblCounts) != grouped(totals[size_t(drawn)])
            || m_window->state().lastCount != counts[size_t(drawn - 1)] || c.lblBar->width() != bar
            || m_window->picture().pixelColor(pixelOf(drawn - 1)) != last)
            mismatches.append(QStringLiteral("after point %1: %2 / %3, bar %4")
                                  .arg(drawn)
                                  .arg(text(c.lblPixel), text(c.lblCounts))
                                  .arg(c.lblBar->width()));
    });
    handler.start();
    clickStart();
    handler.stop();

    QVERIFY(looks > 0);
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(u"; ")));
    QCOMPARE(m_window->state().pixelCount, RunPoints);
}

void tst_RenderRun::fastKernelDrawsWhatPlainDraws_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("start section") << QStringList{"-1,4025", "-1,4020", "0,0000", "0,0005", "300"};
    QTest::newRow("example 1, imax 2000") << QStringList{"-2", "2", "-2", "2", "2000"};
    QTest::newRow("mirrored both ways") << QStringList{"-1,4020", "-1,4025", "0,0005", "0,0000", "300"};
}

// A whole run with the columns computed ahead on worker threads leaves the
// window exactly as the plain kernel's run does.
void tst_RenderRun::fastKernelDrawsWhatPlainDraws()
{
    QFETCH(QStringList, fields);
    const Controls &c = m_window->controls();
    enterFields(fields);
    struct Outcome
    {
        QImage picture;
        QStringList captions;
        std::int16_t lastCount;
        std::int32_t pixelCount;
        int bar;
    };
    const auto runWith = [&](RenderRun::Kernel kernel) {
        renderRun()->setKernel(kernel);
        m_window->surface().clear(); // a blank picture for each run
        clickStart();
        return Outcome{m_window->picture(),
                       {text(c.lblCounts), text(c.lblPixel), text(c.lblI), c.btStop->text()},
                       m_window->state().lastCount, m_window->state().pixelCount,
                       c.lblBar->width()};
    };

    const Outcome plain = runWith(RenderRun::Kernel::Plain);
    const Outcome fast = runWith(RenderRun::Kernel::Fast);

    QCOMPARE(fast.pixelCount, RunPoints);
    QCOMPARE(fast.captions, plain.captions);
    QCOMPARE(fast.lastCount, plain.lastCount);
    QCOMPARE(fast.pixelCount, plain.pixelCount);
    QCOMPARE(fast.bar, plain.bar);
    QCOMPARE(fast.picture, plain.picture);
    QVERIFY(m_platform->messages.isEmpty());
}

// The workers compute far slower than the run draws, so the next column is
// late at nearly every event pass and the run computes that column's first
// point itself before it lets events run. A pause there comes after that
// point, with the bar of the column before it; continuing draws the column
// again from J = 1.
void tst_RenderRun::pauseWhileAColumnIsLate()
{
    const Controls &c = m_window->controls();
    enterFields(SlowFields);
    int workersAtPause = 0;
    qint64 pauseAfter = 0; // pause once more than this many points are drawn
    qint64 repeated = 0;   // points drawn twice: those of the paused column
    // After the first point of a column whose bar is a pixel wider than the
    // one before, so that the bar shows which columns it stands for.
    m_platform->onDoEvents = [&] {
        const qint64 drawn = m_window->state().pixelCount;
        const qint64 last = drawn - 1 - repeated; // in run order
        if (m_pausedAt != 0 || drawn <= pauseAfter || last < GridPoints || last % GridPoints != 0
            || barPixels(columnOf(last) - GridStep) == barPixels(columnOf(last) - 2 * GridStep))
            return;
        workersAtPause = threadsNamed(WorkerName);
        m_pausedAt = drawn;
        clickStop();
    };
    clickStart();

    const qint64 first = m_pausedAt;
    checkPaused(first);
    QVERIFY(workersAtPause > 0);
    QCOMPARE(text(c.lblJ), QStringLiteral("1"));
    QCOMPARE(c.lblBar->width(), barPixels(columnOf(first - 1) - GridStep));
    QTRY_COMPARE(threadsNamed(WorkerName), 0);

    const qint64 columnStart = first - 1;
    m_pausedAt = 0;
    pauseAfter = first;
    repeated = first - columnStart;
    clickStop();
    const qint64 second = m_pausedAt;
    QVERIFY(second > first);
    QVERIFY(workersAtPause > 0);
    QTRY_COMPARE(threadsNamed(WorkerName), 0);

    const qint64 continuedTo = columnStart + (second - first);
    const std::vector<std::int16_t> counts = firstCounts(Slow, continuedTo);
    QCOMPARE(m_window->state().pixelCount, second);
    QCOMPARE(text(c.lblPixel), grouped(second));
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, first) + sum(counts, columnStart, continuedTo)));
    QCOMPARE(text(c.lblI), QString::number(columnOf(continuedTo - 1)));
    QCOMPARE(text(c.lblJ), QStringLiteral("1"));
    QCOMPARE(c.lblBar->width(), barPixels(columnOf(continuedTo - 1) - GridStep));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung fortsetzen"));
    QImage picture = blankPicture();
    paint(picture, counts, 0, first);
    paint(picture, counts, columnStart, continuedTo);
    QCOMPARE(m_window->picture(), picture);
    QVERIFY(m_platform->messages.isEmpty());
}

// Closed in the pass after a late column's first point: the run still
// computes and counts the next point, then ends, and the workers are joined
// although they were in the middle of their columns.
void tst_RenderRun::closeWhileAColumnIsLate()
{
    const Controls &c = m_window->controls();
    enterFields(SlowFields);
    qint64 closedAt = 0;
    int passesAtClose = 0;
    int workersAtClose = 0;
    m_platform->onDoEvents = [&] {
        const qint64 drawn = m_window->state().pixelCount;
        if (closedAt != 0 || drawn <= GridPoints || drawn % GridPoints != 1)
            return;
        closedAt = drawn;
        passesAtClose = m_platform->doEventsCalls;
        workersAtClose = threadsNamed(WorkerName);
        m_window->close();
    };
    clickStart();

    QVERIFY(closedAt > 0);
    QVERIFY(workersAtClose > 0);
    QVERIFY(!m_window->state().formAlive);
    QCOMPARE(m_window->state().pixelCount, closedAt + 1);
    QCOMPARE(m_platform->doEventsCalls, passesAtClose);
    QVERIFY(m_platform->messages.isEmpty());
    for (QWidget *control : seventeen())
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QTRY_COMPARE(threadsNamed(WorkerName), 0);

    const std::vector<std::int16_t> counts = firstCounts(Slow, closedAt + 1);
    QCOMPARE(m_window->state().lastCount, counts.back());
    QImage picture = blankPicture();
    paint(picture, counts, 0, closedAt + 1);
    QCOMPARE(m_window->picture(), picture);
}

// Slow columns and events due after every point: the first column is late
// for the run's first event pass. Events still run only after a point, so
// the run computes its first point itself.
void tst_RenderRun::lateFirstColumnEventsStillComeAfterAPoint()
{
    const Controls &c = m_window->controls();
    enterFields(SlowFields);
    renderRun()->setEventInterval(0);
    QList<qint64> drawnAtPasses;
    m_platform->onDoEvents = [&] {
        drawnAtPasses.append(m_window->state().pixelCount);
        clickStop();
    };
    clickStart();

    QCOMPARE(drawnAtPasses, QList<qint64>{1});
    checkPaused(1);
    const std::vector<std::int16_t> counts = firstCounts(Slow, 2);
    QCOMPARE(text(c.lblCounts), grouped(counts[0]));
    QImage picture = blankPicture();
    paint(picture, counts, 0, 1);
    QCOMPARE(m_window->picture(), picture);

    // Continued and closed at its first pass: the next point, (1, 14), is
    // computed and counted before the run ends.
    drawnAtPasses.clear();
    m_platform->onDoEvents = [&] {
        drawnAtPasses.append(m_window->state().pixelCount);
        m_window->close();
    };
    clickStop();
    QCOMPARE(drawnAtPasses, QList<qint64>{2});
    QCOMPARE(m_window->state().pixelCount, 3);
    QCOMPARE(m_window->state().lastCount, counts[1]);
    paint(picture, counts, 0, 2);
    QCOMPARE(m_window->picture(), picture);
    QVERIFY(m_platform->messages.isEmpty());
}

// Clicks on the seventeen during a run do nothing at all; the swatch reset,
// the fields and btStop go on working.
void tst_RenderRun::onlyHarmlessControlsLiveDuringRun()
{
    const Controls &c = m_window->controls();
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    // The swatch of the first point, so that its change shows at once.
    const size_t n = size_t(swatchForCount(counts.front()));
    m_platform->colorAnswer = QColor(1, 2, 3);
    clickOn(c.btF[n]);
    m_platform->colorDialogInitials.clear();

    QStringList enabled;
    QStringList before, after;
    bool pictureKept = false;
    QStringList live;
    QString typed;
    ColorRef swatchAfterReset = 1;
    QTimer::singleShot(0, m_window, [&] {
        before = windowSnapshot(*m_window);
        const QImage picture = m_window->picture();
        for (QWidget *control : seventeen()) {
            if (control->isEnabled())
                enabled.append(control->objectName());
            clickOn(control);
        }
        after = windowSnapshot(*m_window);
        pictureKept = m_window->picture() == picture;

        const QList<QWidget *> harmless{c.lblStandardfarben, c.txtX0, c.txtX1, c.txtY0,
                                        c.txtY1, c.txtMaxIter, c.btStop};
        for (QWidget *control : harmless) {
            if (control->isEnabled())
                live.append(control->objectName());
        }
        clickOn(c.lblStandardfarben);
        swatchAfterReset = backColor(c.lblF[n]);
        typeInto(c.txtMaxIter, QStringLiteral("100"));
        typed = c.txtMaxIter->text();
        m_pausedAt = m_window->state().pixelCount;
        clickStop();
    });
    clickStart();

    QCOMPARE(enabled, QStringList());
    QCOMPARE(after, before);
    QVERIFY(pictureKept);
    QVERIFY(m_platform->colorDialogInitials.isEmpty());
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(live, (QStringList{"lblStandardfarben", "txtX0", "txtX1", "txtY0", "txtY1",
                                "txtMaxIter", "btStop"}));
    QCOMPARE(swatchAfterReset, StandardColors[n]);
    QCOMPARE(typed, QStringLiteral("100"));

    // Paused by the click on btStop, drawn with what the run read at start.
    checkPaused(m_pausedAt);
    Palette palette = StandardColors;
    palette[n] = 0x00030201;
    QImage expected = blankPicture();
    paint(expected, counts, 0, m_pausedAt, palette);
    QImage inStandardColours = blankPicture();
    paint(inStandardColours, counts, 0, m_pausedAt);
    QVERIFY(expected != inStandardColours);
    QCOMPARE(m_window->picture(), expected);
    QCOMPARE(text(c.lblCounts), grouped(sum(counts, 0, m_pausedAt)));
}

// The window's own pixels after a complete run are the kernel's picture, all
// 400 x 400 of them: points show over the frame lines Line1 and Line3 and
// over the label that reaches over the left line. Refresh (cbFC) clears the
// points, and the frame shows as before the run.
void tst_RenderRun::pointsShowOverFrameLines()
{
    const QRect surface(96, 4, 400, 400);
    const QRect frame(96, 4, 401, 401); // the surface and its four lines
    auto shown = [this](const QRect &area) {
        return m_window->grab().toImage().copy(area).convertToFormat(QImage::Format_RGB32);
    };
    const QImage frameBefore = shown(frame);
    clickStart();
    QCOMPARE(m_window->state().pixelCount, RunPoints);

    const QImage expected =
        expectedPicture(kernelCounts(StartSection)).convertToFormat(QImage::Format_RGB32);
    int overLines = 0; // points of another colour than the line they lie on
    for (int k = 0; k < 400; ++k)
        overLines += int(expected.pixel(0, k) != frameBefore.pixel(0, k))
                     + int(k > 0 && expected.pixel(k, 0) != frameBefore.pixel(k, 0));
    QVERIFY(overLines > 0);
    QCOMPARE(shown(surface), expected);

    clickOn(m_window->controls().cbFC);
    QCOMPARE(shown(frame), frameBefore);
}

namespace {

// The child of closeMidRunExitsWithZero: the program's own main loop, a
// click on Start, and the window closed at the run's first event pass. It
// prints the points computed, the messages shown and the window's captions
// and colours that changed after the close ("none").
int closeMidRunChild(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    FakePlatform platform;
    MainWindow window(platform);
    window.findChild<RenderRun *>()->setEventInterval(1);
    window.show();
    QStringList atClose;
    platform.onDoEvents = [&] {
        platform.onDoEvents = nullptr;
        window.close();
        atClose = windowSnapshot(window);
    };
    QTimer::singleShot(0, &window, [&] { window.controls().cbStart->click(); });
    const int status = app.exec();
    QStringList changed = changedNames(atClose, windowSnapshot(window));
    // The run's own count of the point it computes after the close.
    changed.removeAll(QStringLiteral("pixelCount"));
    changed.removeAll(QStringLiteral("lastCount"));
    std::printf("points %d messages %lld changed %s\n", int(window.state().pixelCount),
                qint64(platform.messages.size()),
                changed.isEmpty() ? "none" : qPrintable(changed.join(u',')));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--close-mid-run") == 0)
        return closeMidRunChild(argc, argv);
    return windowTestMain<tst_RenderRun>(argc, argv);
}

#include "tst_renderrun.moc"
