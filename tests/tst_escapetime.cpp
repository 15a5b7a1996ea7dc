#include "core/escapetime.h"
#include "core/grid.h"

#include <QTest>

#include <cmath>
#include <limits>

// The escape-time kernel.
class tst_EscapeTime : public QObject
{
    Q_OBJECT

private slots:
    void count_data();
    void count();
    void startSectionIsBitExact();
};

namespace {

const double Largest = std::numeric_limits<double>::max();
const double Infinity = std::numeric_limits<double>::infinity();

} // namespace

void tst_EscapeTime::count_data()
{
    QTest::addColumn<double>("cx");
    QTest::addColumn<double>("cy");
    QTest::addColumn<double>("bound");
    QTest::addColumn<int>("maxIter");
    QTest::addColumn<int>("expected");

    QTest::newRow("c=1+2i: |z1|^2 equal to 5 goes on") << 1.0 << 2.0 << EscapeBound << 300 << 2;
    QTest::newRow("c=-2 with bound 4: |z|^2 stays equal") << -2.0 << 0.0 << 4.0 << 300 << 300;
    QTest::newRow("c=3 escapes at once") << 3.0 << 0.0 << EscapeBound << 300 << 1;
    QTest::newRow("c=2: 2 then 6") << 2.0 << 0.0 << EscapeBound << 300 << 2;
    QTest::newRow("c=-2 settles at 2") << -2.0 << 0.0 << EscapeBound << 300 << 300;
    QTest::newRow("c=0 never escapes") << 0.0 << 0.0 << EscapeBound << 300 << 300;
    QTest::newRow("c=0 at the highest limit") << 0.0 << 0.0 << EscapeBound << 32767 << 32767;
    // Radius √5, not 2: |z1|^2 = 4.41 is inside, |z2|^2 = 5.3361 is not.
    QTest::newRow("c=-2.1 passes |z|^2 4.41") << -2.1 << 0.0 << EscapeBound << 300 << 2;
    QTest::newRow("c=i is periodic") << 0.0 << 1.0 << EscapeBound << 1000 << 1000;

    QTest::newRow("Imax 0, c=0") << 0.0 << 0.0 << EscapeBound << 0 << 0;
    QTest::newRow("Imax 0, c=3") << 3.0 << 0.0 << EscapeBound << 0 << 0;
    QTest::newRow("Imax -1") << 0.0 << 0.0 << EscapeBound << -1 << 0;
    QTest::newRow("Imax lowest") << -2.0 << 0.0 << EscapeBound << -32768 << 0;
    QTest::newRow("Imax 1, c=0") << 0.0 << 0.0 << EscapeBound << 1 << 1;
    QTest::newRow("Imax 1, c=3") << 3.0 << 0.0 << EscapeBound << 1 << 1;
    QTest::newRow("Imax 1, c=-2") << -2.0 << 0.0 << EscapeBound << 1 << 1;

    // |z1|^2 overflows to infinity: an escape after one step.
    QTest::newRow("overflow, largest c") << Largest << Largest << EscapeBound << 300 << 1;
    QTest::newRow("overflow, lowest cx") << -Largest << 0.0 << EscapeBound << 300 << 1;
    QTest::newRow("overflow, lowest cy") << 0.0 << -Largest << EscapeBound << 300 << 1;
    QTest::newRow("overflow of the square") << 1e200 << 0.0 << EscapeBound << 300 << 1;
    // With an infinite bound, z2 = inf - inf is NaN: that ends the loop too.
    QTest::newRow("NaN ends the loop") << Largest << Largest << Infinity << 300 << 2;
}

void tst_EscapeTime::count()
{
    QFETCH(double, cx);
    QFETCH(double, cy);
    QFETCH(double, bound);
    QFETCH(int, maxIter);
    QFETCH(int, expected);

    QCOMPARE(int(punkt_iteration(cx, cy, bound, std::int16_t(maxIter))), expected);
}

namespace {

// The kernel's definition, one rounding per operation: a volatile store
// cannot be fused into a multiply-add whatever the compiler flags are.
int reference(double cx, double cy, double bound, int maxIter)
{
    volatile double x = 0, y = 0, m = 0;
    int n = 0;
    while (m <= bound && n < maxIter) {
        volatile double xx = x * x;
        volatile double yy = y * y;
        volatile double xy2 = (2.0 * x) * y;
        volatile double xNext = (xx - yy) + cx;
        volatile double yNext = xy2 + cy;
        x = xNext;
        y = yNext;
        ++n;
        xx = x * x;
        yy = y * y;
        m = xx + yy;
    }
    return n;
}

// What a compiler that contracts to fused multiply-adds would compute.
int fused(double cx, double cy, double bound, int maxIter)
{
    double x = 0, y = 0, m = 0;
    int n = 0;
    while (m <= bound && n < maxIter) {
        const double xNext = std::fma(x, x, -(y * y)) + cx;
        const double yNext = std::fma(2.0 * x, y, cy);
        x = xNext;
        y = yNext;
        ++n;
        m = std::fma(x, x, y * y);
    }
    return n;
}

} // namespace

// The window starts in a chaotic region where a fused multiply-add changes
// counts; every point of its grid must match the unfused definition.
void tst_EscapeTime::startSectionIsBitExact()
{
    const double x0 = -1.4025, x1 = -1.4020, y0 = 0.0, y1 = 0.0005;
    const int maxIter = 300;
    int mismatches = 0;
    int fusedDiffers = 0;
    for (int i = GridFirst; i <= GridLimit; i += GridStep) {
        const double cx = gridReal(x0, x1, i);
        for (int j = GridFirst; j <= GridLimit; j += GridStep) {
            const double cy = gridImag(y0, y1, j);
            const int expected = reference(cx, cy, EscapeBound, maxIter);
            if (punkt_iteration(cx, cy, EscapeBound, maxIter) != expected)
                ++mismatches;
            if (fused(cx, cy, EscapeBound, maxIter) != expected)
                ++fusedDiffers;
        }
    }
    QCOMPARE(mismatches, 0);
    // Shows the comparison would notice fused arithmetic in the kernel.
    QVERIFY2(fusedDiffers > 0, "the start section no longer tells fused from unfused arithmetic");
}

QTEST_APPLESS_MAIN(tst_EscapeTime)

#include "tst_escapetime.moc"
