#include "core/columnkernel.h"
#include "core/columnsahead.h"
#include "core/grid.h"
#include "core/workerthreads.h"
#include "workerthreads.h"

#include <QTest>

#include <array>
#include <chrono>
#include <memory>
#include <thread>

// The columns computed ahead on worker threads: in order, each exactly the
// plain loop's, and the workers gone whenever the consumer stops.
class tst_ColumnsAhead : public QObject
{
    Q_OBJECT

private slots:
    void matchesPlain_data();
    void matchesPlain();
    void missedDeadlineKeepsTheColumnNext();
    void stopAtAnyPoint_data();
    void stopAtAnyPoint();
    void restart();
    void destroyWhileWorkersAreBusy_data();
    void destroyWhileWorkersAreBusy();
    void workerFailureReachesTheOwner();
};

Q_DECLARE_METATYPE(Section)

namespace {

using Counts = std::array<std::int16_t, GridPoints>;
using namespace std::chrono_literals;

const Section StartSection{-1.4025, -1.4020, 0.0, 0.0005};
const Section Example1{-2, 2, -2, 2};
const Section Example4{-0.65, -0.60, 0.375, 0.425};
const Section NearFeigenbaum{-1.40116, -1.40114, -0.00001, 0.00001};

// Long enough that only a hang reaches it.
ColumnsAhead::Clock::time_point farAhead()
{
    return ColumnsAhead::Clock::now() + 60s;
}

Counts plainColumn(const Section &section, int i, std::int16_t imax)
{
    Counts counts{};
    computeColumnPlain(section, i, imax, counts.data());
    return counts;
}

// "" when equal, else the first row that differs.
QString difference(const std::int16_t *counts, const Counts &plain, int column)
{
    for (int k = 0; k < GridPoints; ++k)
        if (counts[k] != plain[size_t(k)])
            return QStringLiteral("column %1, row %2: %3, plain %4")
                .arg(column)
                .arg(GridFirst + k * GridStep)
                .arg(counts[k])
                .arg(plain[size_t(k)]);
    return {};
}

int workersLeft()
{
    return threadsNamed(ColumnsAhead::WorkerName);
}

} // namespace

void tst_ColumnsAhead::matchesPlain_data()
{
    QTest::addColumn<Section>("section");
    QTest::addColumn<int>("imax");
    QTest::addColumn<int>("firstColumn");
    QTest::addColumn<int>("compareEvery"); // columns; the last is always compared
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("window");
    QTest::addColumn<bool>("slowConsumer");

    QTest::newRow("start section") << StartSection << 300 << 1 << 1 << 0 << 16 << false;
    // A consumer that holds each column a while: a worker that ran past the
    // window would overwrite the column being read.
    QTest::newRow("start section, window 1, 3 workers, slow consumer")
        << StartSection << 300 << 1 << 1 << 3 << 1 << true;
    // Workers take up to four columns at once; a window that is no multiple
    // of four splits claims at the end of the slot ring.
    QTest::newRow("start section, window 6, 2 workers, slow consumer")
        << StartSection << 300 << 1 << 1 << 2 << 6 << true;
    QTest::newRow("start section, 1 worker, window 32") << StartSection << 300 << 1 << 1 << 1 << 32 << false;
    QTest::newRow("x0 > x1 mirrored") << Section{-1.4020, -1.4025, 0.0, 0.0005} << 300 << 1 << 1 << 0 << 16 << false;
    QTest::newRow("y0 > y1 mirrored") << Section{-1.4025, -1.4020, 0.0005, 0.0} << 300 << 1 << 1 << 0 << 16 << false;
    QTest::newRow("example 1, imax 0") << Example1 << 0 << 1 << 1 << 0 << 16 << false;
    QTest::newRow("example 1, imax 1") << Example1 << 1 << 1 << 1 << 0 << 16 << false;
    QTest::newRow("example 1, imax -7") << Example1 << -7 << 1 << 1 << 0 << 16 << false;
    QTest::newRow("example 1, imax 401") << Example1 << 401 << 1 << 1 << 0 << 8 << false;
    QTest::newRow("example 1, imax 32767, sampled") << Example1 << 32767 << 1 << 29 << 0 << 16 << false;
    QTest::newRow("example 4, imax 32767, sampled") << Example4 << 32767 << 1 << 53 << 0 << 16 << false;
    QTest::newRow("near -1.40115, imax 32767, sampled") << NearFeigenbaum << 32767 << 1 << 53 << 0 << 16 << false;
    QTest::newRow("continued from column 2601") << StartSection << 300 << 2601 << 1 << 0 << 16 << false;
    QTest::newRow("last column only") << StartSection << 300 << 5994 << 1 << 0 << 16 << false;
}

void tst_ColumnsAhead::matchesPlain()
{
    QFETCH(Section, section);
    QFETCH(int, imax);
    QFETCH(int, firstColumn);
    QFETCH(int, compareEvery);
    QFETCH(int, workers);
    QFETCH(int, window);
    QFETCH(bool, slowConsumer);

    ColumnsAhead ahead(workers, window);
    QVERIFY(ahead.start(section, std::int16_t(imax), firstColumn));
    const int lastColumn = GridLimit - (GridLimit - firstColumn) % GridStep;
    int compared = 0;
    for (int i = firstColumn; i <= GridLimit; i += GridStep) {
        QCOMPARE(ahead.nextColumn(), i);
        const std::int16_t *counts = ahead.next(farAhead());
        QVERIFY2(counts, qPrintable(QStringLiteral("column %1 never came").arg(i)));
        if (slowConsumer)
            std::this_thread::sleep_for(100us);
        if ((i - firstColumn) / GridStep % compareEvery == 0 || i == lastColumn) {
            const QString diff = difference(counts, plainColumn(section, i, std::int16_t(imax)), i);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
            ++compared;
        }
    }
    QVERIFY(compared >= 2 || firstColumn == lastColumn);
    QCOMPARE(ahead.columnsLeft(), 0);
    QCOMPARE(ahead.next(ColumnsAhead::Clock::now()), nullptr);
}

// A deadline that passes leaves the same column next; what comes later is
// still that column, right.
void tst_ColumnsAhead::missedDeadlineKeepsTheColumnNext()
{
    ColumnsAhead ahead(1, 2);
    QVERIFY(ahead.start(Example4, 32767, 1));
    for (int i = 1; i < 1 + 4 * GridStep; i += GridStep) {
        const std::int16_t *counts = nullptr;
        while (!counts) {
            counts = ahead.next(ColumnsAhead::Clock::now() - 1ms);
            if (!counts)
                QCOMPARE(ahead.nextColumn(), i);
        }
        const QString diff = difference(counts, plainColumn(Example4, i, 32767), i);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    // Past the grid nothing is ever ready, and nothing waits for it.
    ColumnsAhead none;
    QVERIFY(none.start(Example4, 32767, GridLimit + 1));
    QCOMPARE(none.columnsLeft(), 0);
    QCOMPARE(none.next(farAhead()), nullptr);
}

void tst_ColumnsAhead::stopAtAnyPoint_data()
{
    QTest::addColumn<int>("taken");
    QTest::addColumn<int>("window");
    QTest::newRow("before the first column") << 0 << 2;
    QTest::newRow("after one column") << 1 << 2;
    QTest::newRow("window full, workers waiting") << 17 << 16;
    QTest::newRow("all but the last") << GridPoints - 1 << 4;
    QTest::newRow("all taken") << GridPoints << 4;
}

// Slow columns (example 4 at Imax 32767) keep the workers busy; stop()
// waits only for the columns in progress and leaves no thread behind.
void tst_ColumnsAhead::stopAtAnyPoint()
{
    QFETCH(int, taken);
    QFETCH(int, window);
    ColumnsAhead ahead(2, window);
    QVERIFY(ahead.start(Example4, 32767, 1));
    QTRY_COMPARE(workersLeft(), 2);
    for (int n = 0; n < taken; ++n)
        QVERIFY(ahead.next(farAhead()));
    QCOMPARE(ahead.nextColumn(), 1 + taken * GridStep);

    // How long stop() takes, bench_columnkernel's StopWhileBusy measures.
    ahead.stop();
    QTRY_COMPARE(workersLeft(), 0);
    QCOMPARE(ahead.columnsLeft(), 0);
    QCOMPARE(ahead.next(farAhead()), nullptr);
    ahead.stop(); // twice is harmless
}

// start() while columns are in progress drops them; the new run's columns
// are its own, also when started again after it ran to its end.
void tst_ColumnsAhead::restart()
{
    ColumnsAhead ahead(2, 8);
    QVERIFY(ahead.start(Example4, 32767, 1));
    for (int n = 0; n < 3; ++n)
        QVERIFY(ahead.next(farAhead()));

    for (int round = 0; round < 2; ++round) {
        QVERIFY(ahead.start(StartSection, 300, 1));
        for (int i = 1; i <= GridLimit; i += GridStep) {
            const std::int16_t *counts = ahead.next(farAhead());
            QVERIFY(counts);
            const QString diff = difference(counts, plainColumn(StartSection, i, 300), i);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
        QCOMPARE(ahead.columnsLeft(), 0);
    }
    QTRY_COMPARE(workersLeft(), 0);

    // After a stop the same object starts afresh.
    ahead.stop();
    QVERIFY(ahead.start(Example1, 50, 5994));
    const std::int16_t *counts = ahead.next(farAhead());
    QVERIFY(counts);
    QCOMPARE(difference(counts, plainColumn(Example1, 5994, 50), 5994), QString());
}

void tst_ColumnsAhead::destroyWhileWorkersAreBusy_data()
{
    QTest::addColumn<int>("taken");
    QTest::addColumn<int>("window");
    QTest::newRow("nothing taken") << 0 << 16;
    QTest::newRow("holding a column") << 5 << 1;
}

void tst_ColumnsAhead::destroyWhileWorkersAreBusy()
{
    QFETCH(int, taken);
    QFETCH(int, window);
    auto ahead = std::make_unique<ColumnsAhead>(2, window);
    QVERIFY(ahead->start(NearFeigenbaum, 32767, 1));
    for (int n = 0; n < taken; ++n)
        QVERIFY(ahead->next(farAhead()));
    ahead.reset();
    QTRY_COMPARE(workersLeft(), 0);
}

// A worker out of memory ends alone: the others run to their end, the
// owner is told at once (to release waiting workers) and gets the exception
// once all are joined.
void tst_ColumnsAhead::workerFailureReachesTheOwner()
{
    std::atomic<int> calls{0}, finished{0}, told{0};
    WorkerThreads workers(
        3,
        [&] {
            if (calls.fetch_add(1) == 1)
                throw std::bad_alloc();
            finished.fetch_add(1);
        },
        [&] { told.fetch_add(1); });
    QCOMPARE(workers.started(), 3);
    workers.join();
    QCOMPARE(finished.load(), 2);
    QCOMPARE(told.load(), 1);
    QVERIFY_THROWS_EXCEPTION(std::bad_alloc, workers.rethrowFailure());
    workers.rethrowFailure(); // told once
}

QTEST_GUILESS_MAIN(tst_ColumnsAhead)

#include "tst_columnsahead.moc"
