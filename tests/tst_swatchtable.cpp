#include "core/swatchtable.h"

#include <QTest>

// The count-to-swatch table.
class tst_SwatchTable : public QObject
{
    Q_OBJECT

private slots:
    void swatch_data();
    void swatch();
    void occurrences_data();
    void occurrences();
    void samePatternEveryHundred();
    void runsStepDownFromF6();
    void cycled_data();
    void cycled();
    void cycleRepeatsTheLastHundred();
};

void tst_SwatchTable::swatch_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");

    const struct { int count; int swatch; } rows[] = {
        {-1, 7}, {0, 7}, {1, 7}, {2, 6}, {7, 1}, {8, 6}, {11, 3}, {25, 1}, {26, 6},
        {31, 1}, {32, 0}, {33, 6}, {38, 1}, {39, 6}, {40, 5}, {41, 4}, {42, 6},
        {48, 0}, {61, 0}, {74, 0}, {87, 0}, {93, 1}, {94, 6}, {100, 0},
        {101, 6}, {102, 6}, {111, 3}, {200, 0}, {201, 0}, {202, 6}, {300, 0},
        {301, 6}, {332, 0}, {339, 6}, {341, 4}, {399, 1}, {400, 0}, {401, 6},
        {1000, 6}, {32767, 6},
    };
    for (const auto &row : rows)
        QTest::addRow("count %d", row.count) << row.count << row.swatch;
}

void tst_SwatchTable::swatch()
{
    QFETCH(int, count);
    QFETCH(int, expected);

    QCOMPARE(swatchForCount(count), expected);
}

void tst_SwatchTable::occurrences_data()
{
    QTest::addColumn<int>("swatch");
    QTest::addColumn<int>("expected");

    const int counts[8] = {25, 60, 60, 60, 64, 64, 66, 1};
    for (int swatch = 0; swatch < 8; ++swatch)
        QTest::addRow("F%d", swatch) << swatch << counts[swatch];
}

// How often each swatch occurs over the counts 1..400.
void tst_SwatchTable::occurrences()
{
    QFETCH(int, swatch);
    QFETCH(int, expected);

    int found = 0;
    for (int count = 1; count <= 400; ++count) {
        if (swatchForCount(count) == swatch)
            ++found;
    }
    QCOMPARE(found, expected);
}

// Positions 2..100 of a hundred give the same swatch in all four hundreds.
void tst_SwatchTable::samePatternEveryHundred()
{
    for (int position = 2; position <= 100; ++position) {
        for (int hundred = 100; hundred <= 300; hundred += 100) {
            QVERIFY2(swatchForCount(position + hundred) == swatchForCount(position),
                     qPrintable(QStringLiteral("count %1").arg(position + hundred)));
        }
    }
}

// Every count from 2 to 400 either starts a run at F6 or is one swatch below
// the previous count; the one exception is 201, F0 right after 200's F0.
void tst_SwatchTable::runsStepDownFromF6()
{
    for (int count = 2; count <= 400; ++count) {
        const int swatch = swatchForCount(count);
        if (swatch == 6)
            continue;
        const int expected = count == 201 ? 0 : swatchForCount(count - 1) - 1;
        QVERIFY2(swatch == expected, qPrintable(QStringLiteral("count %1").arg(count)));
    }
}

void tst_SwatchTable::cycled_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    // Up to 400 the table itself; beyond it the fourth hundred again.
    const struct { int count; int swatch; } rows[] = {
        {1, 7}, {201, 0}, {332, 0}, {400, 0}, {401, 6}, {402, 6}, {432, 0}, {439, 6}, {441, 4}, {500, 0},
        {501, 6}, {32700, 0}, {32701, 6}, {32732, 0}, {32767, 1},
    };
    for (const auto &row : rows)
        QTest::addRow("count %d", row.count) << row.count << row.swatch;
}

void tst_SwatchTable::cycled()
{
    QFETCH(int, count);
    QFETCH(int, expected);

    QCOMPARE(swatchForCount(count, true), expected);
}

// Without cycling the table is unchanged; with it, every count above 400
// repeats the count a hundred below, down to the fourth hundred.
void tst_SwatchTable::cycleRepeatsTheLastHundred()
{
    for (int count = -5; count <= 32767; ++count) {
        QCOMPARE(swatchForCount(count, false), swatchForCount(count));
        if (count <= 400)
            QCOMPARE(swatchForCount(count, true), swatchForCount(count));
        else
            QVERIFY2(swatchForCount(count, true) == swatchForCount(count - 100, true),
                     qPrintable(QStringLiteral("count %1").arg(count)));
    }
}

QTEST_APPLESS_MAIN(tst_SwatchTable)

#include "tst_swatchtable.moc"
