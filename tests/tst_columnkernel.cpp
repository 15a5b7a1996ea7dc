#include "core/columnjob.h"
#include "core/columnkernel.h"
#include "core/escapetime.h"
#include "core/grid.h"

#include <QTest>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

// Every fast path against the plain loop: the counts must be identical,
// point for point, in every section and at every Imax.
class tst_ColumnKernel : public QObject
{
    Q_OBJECT

private slots:
    void sameCountsAsPlainLoop_data();
    void sameCountsAsPlainLoop();
    void knownCounts_data();
    void knownCounts();
    void shortcutsCutWorkInsideTheSet_data();
    void shortcutsCutWorkInsideTheSet();
    void insideShortcutHoldsAtTheBoundary_data();
    void insideShortcutHoldsAtTheBoundary();
    void anyNumberOfPoints_data();
    void anyNumberOfPoints();
    void vectorStepIsNotFused_data();
    void vectorStepIsNotFused();
    void bestPathIsTheWidestAvailable();
};

namespace {

const KernelPath AllPaths[] = {KernelPath::Scalar, KernelPath::Sse2, KernelPath::Avx2,
                               KernelPath::Avx512, KernelPath::Best};

// QUIRLBAU_LONG=1 (the ctest test tst_columnkernel_long) compares every grid
// column and thousands of boundary angles instead of a sample.
bool longRun()
{
    return qEnvironmentVariableIntValue("QUIRLBAU_LONG") != 0;
}

// Grid columns 1, 14, ..., 5994; `stride` picks every stride-th of them,
// the last one always included.
std::vector<int> gridColumns(int stride)
{
    std::vector<int> columns;
    for (int k = 0; k < GridPoints; k += stride)
        columns.push_back(GridFirst + k * GridStep);
    if ((GridPoints - 1) % stride != 0)
        columns.push_back(GridFirst + (GridPoints - 1) * GridStep);
    return columns;
}

QString describe(const Section &s, int i, int k, KernelPath path, CycleCheck cycles)
{
    const int j = GridFirst + k * GridStep;
    return QStringLiteral("path %1, cycle check %2, I=%3 J=%4, c=%5%6%7i")
        .arg(QLatin1String(kernelPathName(path)))
        .arg(cycles == CycleCheck::On ? "on" : "off")
        .arg(i)
        .arg(j)
        .arg(gridReal(s.x0, s.x1, i), 0, 'g', 17)
        .arg(gridImag(s.y0, s.y1, j) < 0 ? "" : "+")
        .arg(gridImag(s.y0, s.y1, j), 0, 'g', 17);
}

// The first count that differs from the plain loop's, described; empty when
// all agree.
QString firstMismatch(const Section &s, const std::vector<int> &columns,
                      const std::vector<std::int16_t> &counts,
                      const std::vector<std::int16_t> &expected, KernelPath path,
                      CycleCheck cycles, const char *how)
{
    for (std::size_t p = 0; p < expected.size(); ++p) {
        if (counts[p] != expected[p]) {
            const int i = columns[p / GridPoints];
            const int k = int(p % GridPoints);
            return QStringLiteral("%1 (%2): count %3, plain loop %4")
                .arg(describe(s, i, k, path, cycles), QLatin1String(how))
                .arg(counts[p])
                .arg(expected[p]);
        }
    }
    return {};
}

std::int64_t sum(const std::int16_t *counts)
{
    std::int64_t total = 0;
    for (int k = 0; k < GridPoints; ++k)
        total += counts[k];
    return total;
}

} // namespace

void tst_ColumnKernel::sameCountsAsPlainLoop_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("y1");
    QTest::addColumn<int>("imax");
    QTest::addColumn<int>("stride");

    const double huge = std::numeric_limits<double>::max();
    const double nan = std::numeric_limits<double>::quiet_NaN();

    // The six examples and the start section.
    QTest::newRow("example 1, Imax 300") << -2.0 << 2.0 << -2.0 << 2.0 << 300 << 1;
    QTest::newRow("example 1, Imax 32767") << -2.0 << 2.0 << -2.0 << 2.0 << 32767 << 5;
    QTest::newRow("example 2, Imax 401") << -1.0 << -0.5 << 0.0 << 0.5 << 401 << 1;
    QTest::newRow("example 2, Imax 32767") << -1.0 << -0.5 << 0.0 << 0.5 << 32767 << 61;
    QTest::newRow("example 3, Imax 300") << -0.70 << -0.60 << 0.325 << 0.425 << 300 << 1;
    QTest::newRow("example 3, Imax 32767") << -0.70 << -0.60 << 0.325 << 0.425 << 32767 << 61;
    QTest::newRow("example 4, Imax 300") << -0.65 << -0.60 << 0.375 << 0.425 << 300 << 1;
    QTest::newRow("example 4, Imax 32767") << -0.65 << -0.60 << 0.375 << 0.425 << 32767 << 23;
    QTest::newRow("example 5, Imax 300") << -1.4025 << -1.4020 << -0.00025 << 0.00025 << 300 << 1;
    QTest::newRow("example 5, Imax 32767")
        << -1.4025 << -1.4020 << -0.00025 << 0.00025 << 32767 << 53;
    QTest::newRow("example 6, Imax 300") << -1.4025 << -1.40225 << 0.00025 << 0.0005 << 300 << 1;
    QTest::newRow("example 6, Imax 32767")
        << -1.4025 << -1.40225 << 0.00025 << 0.0005 << 32767 << 53;
    QTest::newRow("start, Imax 300") << -1.4025 << -1.4020 << 0.0 << 0.0005 << 300 << 1;
    QTest::newRow("start, Imax 401") << -1.4025 << -1.4020 << 0.0 << 0.0005 << 401 << 1;
    QTest::newRow("start, Imax 32767") << -1.4025 << -1.4020 << 0.0 << 0.0005 << 32767 << 29;

    // Small limits, around the block length and the cycle threshold.
    QTest::newRow("example 1, Imax 0") << -2.0 << 2.0 << -2.0 << 2.0 << 0 << 1;
    QTest::newRow("example 1, Imax -7") << -2.0 << 2.0 << -2.0 << 2.0 << -7 << 1;
    QTest::newRow("start, Imax 1") << -1.4025 << -1.4020 << 0.0 << 0.0005 << 1 << 1;
    QTest::newRow("example 1, Imax 2") << -2.0 << 2.0 << -2.0 << 2.0 << 2 << 1;
    QTest::newRow("example 1, Imax 3") << -2.0 << 2.0 << -2.0 << 2.0 << 3 << 1;
    QTest::newRow("example 2, threshold - 1")
        << -1.0 << -0.5 << 0.0 << 0.5 << CycleCheckAfter - 1 << 1;
    QTest::newRow("example 2, threshold") << -1.0 << -0.5 << 0.0 << 0.5 << CycleCheckAfter << 1;
    QTest::newRow("example 2, threshold + 1")
        << -1.0 << -0.5 << 0.0 << 0.5 << CycleCheckAfter + 1 << 1;

    // Deep zooms: the period-doubling limit near -1.40115 and the boundary.
    QTest::newRow("near -1.40115, Imax 32767")
        << -1.40116 << -1.40114 << -0.00001 << 0.00001 << 32767 << 41;
    QTest::newRow("near -1.401155189, width 1e-10, Imax 32767")
        << -1.4011551891 << -1.4011551890 << -0.00000000005 << 0.00000000005 << 32767 << 41;
    QTest::newRow("seahorse valley, width 1e-9, Imax 32767")
        << -0.7436438875 << -0.7436438865 << 0.1318259037 << 0.1318259047 << 32767 << 41;
    QTest::newRow("neck at -0.75, Imax 32767")
        << -0.7501 << -0.7499 << -0.0001 << 0.0001 << 32767 << 41;
    QTest::newRow("neck at -0.75, width 2e-5, Imax 32767")
        << -0.75001 << -0.74999 << -0.00001 << 0.00001 << 32767 << 83;
    QTest::newRow("cusp at 0.25, Imax 32767")
        << 0.2499 << 0.2501 << -0.0001 << 0.0001 << 32767 << 41;
    QTest::newRow("cardioid edge, Imax 401") << 0.25 << 0.45 << 0.45 << 0.65 << 401 << 1;

    // Mirrored sections.
    QTest::newRow("example 1 mirrored in x, Imax 300") << 2.0 << -2.0 << -2.0 << 2.0 << 300 << 1;
    QTest::newRow("start mirrored in x and y, Imax 300")
        << -1.4020 << -1.4025 << 0.0005 << 0.0 << 300 << 1;
    QTest::newRow("example 4 mirrored in y, Imax 32767")
        << -0.65 << -0.60 << 0.425 << 0.375 << 32767 << 37;

    // Orbits that overflow to infinity or NaN, and |z|² exactly the bound.
    QTest::newRow("squares overflow") << -1e160 << 1e160 << -1e160 << 1e160 << 300 << 7;
    QTest::newRow("section width overflows") << -huge << huge << -huge << huge << 300 << 7;
    QTest::newRow("NaN edge") << nan << 2.0 << -2.0 << 2.0 << 300 << 7;
    QTest::newRow("c = 1+2i, |z1|² equals the bound") << 0.0 << 6000.0 << -5997.0 << 3.0 << 300 << 7;
}

// Each sampled column on its own, and all of them as one list whose cx
// differ from point to point (through computeColumns when the sample is the
// whole grid): every count must be the plain loop's.
void tst_ColumnKernel::sameCountsAsPlainLoop()
{
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(double, y0);
    QFETCH(double, y1);
    QFETCH(int, imax);
    QFETCH(int, stride);
    const Section section{x0, x1, y0, y1};
    const auto limit = static_cast<std::int16_t>(imax);
    const std::vector<int> columns = gridColumns(longRun() ? 1 : stride);
    const bool wholeGrid = int(columns.size()) == GridPoints;

    std::vector<std::int16_t> expected(columns.size() * GridPoints);
    std::vector<double> cx(expected.size());
    std::vector<double> cy(expected.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        computeColumnPlain(section, columns[c], limit, &expected[c * GridPoints]);
        for (int k = 0; k < GridPoints; ++k) {
            cx[c * GridPoints + k] = gridReal(x0, x1, columns[c]);
            cy[c * GridPoints + k] = gridImag(y0, y1, GridFirst + k * GridStep);
        }
    }
    for (const KernelPath path : AllPaths) {
        for (const CycleCheck cycles : {CycleCheck::Off, CycleCheck::On}) {
            std::vector<std::int16_t> counts(expected.size());
            for (std::size_t c = 0; c < columns.size(); ++c)
                computeColumn(section, columns[c], limit, &counts[c * GridPoints], path, cycles);
            QString mismatch =
                firstMismatch(section, columns, counts, expected, path, cycles, "column by column");
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

            std::fill(counts.begin(), counts.end(), std::int16_t(-2));
            if (wholeGrid)
                computeColumns(section, GridFirst, GridPoints, limit, counts.data(), path, cycles);
            else
                computePoints(cx.data(), cy.data(), int(cx.size()), limit, counts.data(), path, cycles);
            mismatch =
                firstMismatch(section, columns, counts, expected, path, cycles, "all in one list");
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        }
    }
}

void tst_ColumnKernel::knownCounts_data()
{
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("y1");
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("imax");
    QTest::addColumn<int>("expected");

    // Sections chosen so that grid point (I, J) = (1, 1), row 0, is a round c.
    QTest::newRow("c = 1+2i goes on at |z|² = 5")
        << 0.0 << 6000.0 << -5997.0 << 3.0 << 1 << 0 << 300 << 2;
    QTest::newRow("c = 1-11i escapes at once")
        << 0.0 << 6000.0 << -5997.0 << 3.0 << 1 << 1 << 300 << 1;
    QTest::newRow("c = -2 settles at 2") << -3.0 << 5997.0 << -5999.0 << 1.0 << 1 << 0 << 32767
                                         << 32767;
    QTest::newRow("c = 2 escapes at step 2") << 1.0 << 6001.0 << -5999.0 << 1.0 << 1 << 0 << 300
                                             << 2;
    QTest::newRow("c = -2, Imax 1") << -3.0 << 5997.0 << -5999.0 << 1.0 << 1 << 0 << 1 << 1;
    QTest::newRow("c near 0, cardioid centre")
        << -2.0 << 2.0 << -2.0 << 2.0 << 2991 << 230 << 32767 << 32767;
}

void tst_ColumnKernel::knownCounts()
{
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(double, y0);
    QFETCH(double, y1);
    QFETCH(int, i);
    QFETCH(int, row);
    QFETCH(int, imax);
    QFETCH(int, expected);
    const Section section{x0, x1, y0, y1};

    std::int16_t plain[GridPoints];
    computeColumnPlain(section, i, static_cast<std::int16_t>(imax), plain);
    QCOMPARE(plain[row], expected);
    for (const KernelPath path : AllPaths) {
        std::int16_t counts[GridPoints];
        computeColumn(section, i, static_cast<std::int16_t>(imax), counts, path);
        QCOMPARE(counts[row], expected);
    }
}

void tst_ColumnKernel::shortcutsCutWorkInsideTheSet_data()
{
    QTest::addColumn<KernelPath>("path");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("width");
    QTest::addColumn<bool>("inCardioid");
    for (const KernelPath path : AllPaths) {
        const char *name = kernelPathName(path);
        QTest::addRow("cardioid, %s", name) << path << -2.0 << -2.0 << 4.0 << true;
        // Clear of the cardioid (it ends at 0.6495 i): only cycles help here.
        QTest::addRow("period-3 bulb, %s", name) << path << -0.2225 << 0.66 << 0.2 << false;
    }
}

// The middle column at Imax 32767: without the checks every inside point
// runs to the limit; with them the cardioid's points take no step at all,
// and the period-3 bulb's orbits are caught repeating within a few hundred.
void tst_ColumnKernel::shortcutsCutWorkInsideTheSet()
{
    QFETCH(KernelPath, path);
    QFETCH(double, x0);
    QFETCH(double, y0);
    QFETCH(double, width);
    QFETCH(bool, inCardioid);
    const Section section{x0, x0 + width, y0, y0 + width};
    const int i = 2991;
    std::int16_t counts[GridPoints];

    const ColumnWork without = computeColumn(section, i, 32767, counts, path, CycleCheck::Off);
    QCOMPARE(without.steps, sum(counts));
    QCOMPARE(without.cyclesFound, 0);
    QCOMPARE(without.insideShortcuts, 0);

    const ColumnWork with = computeColumn(section, i, 32767, counts, path, CycleCheck::On);
    QCOMPARE(with.insideShortcuts > 100, inCardioid);
    QCOMPARE(with.cyclesFound > 100, !inCardioid);
    QVERIFY2(with.steps * 20 < sum(counts),
             qPrintable(QStringLiteral("%1 steps for %2 counted").arg(with.steps).arg(sum(counts))));
}

namespace {

struct Point
{
    double cx;
    double cy;
};

// Points hugging the boundary of the main cardioid c = l/2 - l²/4 or of the
// period-2 disc c = -1 + l/4 at l = e^(i theta): along the outward normal at
// distances 1e-3 ... 1e-16 on both sides, and the boundary point rounded to
// doubles and moved up to two ulps either way in x.
std::vector<Point> huggingPoints(bool disc, long double theta)
{
    using Complex = std::complex<long double>;
    const Complex l = std::polar(1.0L, theta);
    const Complex edge = disc ? -1.0L + l / 4.0L : l / 2.0L - l * l / 4.0L;
    const Complex normal = disc ? l : l * (1.0L - l) / std::abs(1.0L - l);
    std::vector<Point> points;
    for (int e = 3; e <= 16; ++e) {
        for (const long double side : {-1.0L, 1.0L}) {
            const Complex c = edge + side * std::pow(10.0L, -e) * normal;
            points.push_back({static_cast<double>(c.real()), static_cast<double>(c.imag())});
        }
    }
    const double cy = static_cast<double>(edge.imag());
    double left = static_cast<double>(edge.real());
    double right = left;
    points.push_back({left, cy});
    for (int ulp = 1; ulp <= 2; ++ulp) {
        left = std::nextafter(left, -2.0);
        right = std::nextafter(right, 2.0);
        points.push_back({left, cy});
        points.push_back({right, cy});
    }
    return points;
}

} // namespace

void tst_ColumnKernel::insideShortcutHoldsAtTheBoundary_data()
{
    QTest::addColumn<bool>("disc");
    QTest::addColumn<int>("crowdedAt"); // 0: even angles, 1: crowded at angle 0, 2: at pi
    QTest::newRow("cardioid, even angles") << false << 0;
    QTest::newRow("cardioid, crowded at the cusp 0.25") << false << 1;
    QTest::newRow("cardioid, crowded at the neck -0.75") << false << 2;
    QTest::newRow("disc, even angles") << true << 0;
    QTest::newRow("disc, crowded at the neck -0.75") << true << 1;
    QTest::newRow("disc, crowded at -1.25") << true << 2;
}

// Wherever the closed forms say inside, the plain loop must run to Imax
// 32767 (and so to any lower Imax); every path must give the plain counts on
// both sides of the boundary.
void tst_ColumnKernel::insideShortcutHoldsAtTheBoundary()
{
    QFETCH(bool, disc);
    QFETCH(int, crowdedAt);
    const std::int16_t imax = 32767;
    const int angles = longRun() ? 4096 : 32;
    const long double pi = 3.141592653589793238462643383279502884L;
    int inside = 0;
    int outside = 0;
    for (int k = 0; k < angles; ++k) {
        const long double t = (k + 0.5L) / angles;
        const long double crowded = crowdedAt == 0 ? t : t * t * t * t;
        const long double theta = pi * (crowdedAt == 2 ? 1.0L - crowded : crowded);
        for (const Point &p : huggingPoints(disc, k % 2 == 0 ? theta : -theta)) {
            const std::int16_t plain = punkt_iteration(p.cx, p.cy, EscapeBound, imax);
            const bool shortcut = insideCardioidOrDisc(p.cx, p.cy);
            (shortcut ? inside : outside) += 1;
            const QString where = QStringLiteral("c=%1%2%3i").arg(p.cx, 0, 'g', 17)
                                      .arg(p.cy < 0 ? "" : "+").arg(p.cy, 0, 'g', 17);
            QVERIFY2(!shortcut || plain == imax,
                     qPrintable(where + QStringLiteral(" escapes at %1").arg(plain)));
            for (const KernelPath path : AllPaths) {
                std::int16_t count = -1;
                computeCounts(p.cx, &p.cy, 1, imax, &count, path);
                QVERIFY2(count == plain, qPrintable(QStringLiteral("%1, path %2: %3, plain %4")
                                                        .arg(where, kernelPathName(path))
                                                        .arg(count).arg(plain)));
            }
        }
    }
    qInfo("%d points placed inside, %d outside", inside, outside);
    QVERIFY(inside >= angles * 8);
    QVERIFY(outside >= angles * 8);
}

void tst_ColumnKernel::anyNumberOfPoints_data()
{
    QTest::addColumn<KernelPath>("path");
    QTest::addColumn<int>("points");
    for (const KernelPath path : AllPaths) {
        for (const int points : {0, 1, 2, 3, 7, 9})
            QTest::addRow("%s, %d points", kernelPathName(path), points) << path << points;
    }
}

// Fewer points than a register holds, or not a multiple of it: each count
// is the plain loop's and nothing past the last point is written.
void tst_ColumnKernel::anyNumberOfPoints()
{
    QFETCH(KernelPath, path);
    QFETCH(int, points);
    // Down the disc's centre line: inside the disc, just outside it, points
    // that escape late and at once.
    // The same list with cx moved per point: into the cardioid, out of the
    // disc, far outside.
    const double cx = -1.0;
    const double cy[] = {0.0, 0.3, 0.24, 2.0, 0.2501, -0.27, 0.5, -1.0, 0.1};
    const double movedCx[] = {-0.1, -1.0, 0.3, 0.0, -1.3, -0.75, -1.0, 0.26, -2.5};
    const std::int16_t imax = 2000;
    for (const CycleCheck cycles : {CycleCheck::Off, CycleCheck::On}) {
        std::vector<std::int16_t> counts(points + 1, -1);
        computeCounts(cx, cy, points, imax, counts.data(), path, cycles);
        for (int k = 0; k < points; ++k)
            QCOMPARE(counts[k], punkt_iteration(cx, cy[k], EscapeBound, imax));
        QCOMPARE(counts[points], std::int16_t(-1));

        std::fill(counts.begin(), counts.end(), std::int16_t(-1));
        computePoints(movedCx, cy, points, imax, counts.data(), path, cycles);
        for (int k = 0; k < points; ++k)
            QCOMPARE(counts[k], punkt_iteration(movedCx[k], cy[k], EscapeBound, imax));
        QCOMPARE(counts[points], std::int16_t(-1));
    }
}

void tst_ColumnKernel::vectorStepIsNotFused_data()
{
    QTest::addColumn<KernelPath>("path");
    for (const KernelPath path : {KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512}) {
        if (kernelPathAvailable(path))
            QTest::newRow(kernelPathName(path)) << path;
    }
}

namespace {

// Whether a fused multiply-add would change x', y' and |z|² of this step,
// whichever of the two products a compiler folds into it: only then can the
// comparison with the separately rounded step fail.
bool fusingShows(double x, double y, double cx, double cy)
{
    const double xs = (x * x - y * y) + cx;
    const double ys = ((2.0 * x) * y) + cy;
    const double ms = xs * xs + ys * ys;
    return std::fma(x, x, -(y * y)) + cx != xs && std::fma(-y, y, x * x) + cx != xs
        && std::fma(2.0 * x, y, cy) != ys && std::fma(xs, xs, ys * ys) != ms
        && std::fma(ys, ys, xs * xs) != ms;
}

} // namespace

void tst_ColumnKernel::vectorStepIsNotFused()
{
    QFETCH(KernelPath, path);
    constexpr int Lanes = 8;
    alignas(64) double x[Lanes], y[Lanes], cy[Lanes];
    alignas(64) double xOut[Lanes], yOut[Lanes], mOut[Lanes];
    const double cx = -0.7436438870371587;
    double t = 0.1;
    for (int k = 0; k < Lanes; ++k) {
        do {
            t += 0.0123456789;
            x[k] = t;
            y[k] = 1.0 - t / 3.0;
            cy[k] = 0.1318259043691966 * t;
        } while (!fusingShows(x[k], y[k], cx, cy[k]));
    }
    kernelStepProbe(path, {x, y, cx, cy, xOut, yOut, mOut});

    for (int k = 0; k < kernelPathWidth(path); ++k) {
        const double xs = (x[k] * x[k] - y[k] * y[k]) + cx;
        const double ys = ((2.0 * x[k]) * y[k]) + cy[k];
        // QCOMPARE on doubles is fuzzy; these must match to the last bit.
        QCOMPARE(std::bit_cast<std::uint64_t>(xOut[k]), std::bit_cast<std::uint64_t>(xs));
        QCOMPARE(std::bit_cast<std::uint64_t>(yOut[k]), std::bit_cast<std::uint64_t>(ys));
        QCOMPARE(std::bit_cast<std::uint64_t>(mOut[k]),
                 std::bit_cast<std::uint64_t>(xs * xs + ys * ys));
    }
}

void tst_ColumnKernel::bestPathIsTheWidestAvailable()
{
    const KernelPath best = bestKernelPath();
    QVERIFY(kernelPathAvailable(best));
    QCOMPARE(kernelPathWidth(KernelPath::Best), kernelPathWidth(best));
    for (const KernelPath path : AllPaths) {
        if (kernelPathAvailable(path))
            QVERIFY(kernelPathWidth(path) <= kernelPathWidth(best));
    }
}

QTEST_APPLESS_MAIN(tst_ColumnKernel)
#include "tst_columnkernel.moc"
