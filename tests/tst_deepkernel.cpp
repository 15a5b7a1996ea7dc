// The deep kernel against a plain loop in MPFR written here, independently
// of the program's: its own reading of the view, its own pixel points
// (formed at four times the precision and rounded once) and its own loop.

#include "core/escapetime.h"
#include "deep/decimaltext.h"
#include "deep/deepkernel.h"
#include "deep/lanejob.h"
#include "deep/secondchance.h"
#include "deep/skipball.h"
#include "deep/viewcounter.h"
#include "exportrun.h"
#include "minibrots.h"
#include "core/standardcolors.h"
#include "core/swatchtable.h"
#include "picturefile/pngtextreader.h"

#include <QTemporaryDir>
#include <QTest>

#include <gmp.h>
#include <mpfr.h>

#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// An MPFR number for the test's own arithmetic.
struct Big
{
    explicit Big(mpfr_prec_t bits) { mpfr_init2(v, bits); }
    ~Big() { mpfr_clear(v); }
    Big(const Big &) = delete;
    Big &operator=(const Big &) = delete;
    mpfr_t v;
};

struct Place
{
    std::string re, im, width; // as the user writes them, with ","
    int wide, high;
    long imax;
};

std::string withPoint(std::string text)
{
    for (char &c : text)
        c = c == ',' ? '.' : c;
    return text;
}

// re + width · (2k + 1 − N) / (2 · wide), exact enough and rounded once.
void pixelPoint(const std::string &centre, const Place &place, int k, int pixels, mpfr_ptr out)
{
    const mpfr_prec_t fine = 4 * mpfr_get_prec(out) + 256;
    Big c(fine), w(fine);
    mpfr_set_str(c.v, withPoint(centre).c_str(), 10, MPFR_RNDN);
    mpfr_set_str(w.v, withPoint(place.width).c_str(), 10, MPFR_RNDN);
    mpfr_mul_si(w.v, w.v, 2L * k + 1 - pixels, MPFR_RNDN);
    mpfr_div_si(w.v, w.v, 2L * place.wide, MPFR_RNDN);
    mpfr_add(c.v, c.v, w.v, MPFR_RNDN);
    mpfr_set(out, c.v, MPFR_RNDN);
}

// The plain loop from the point (cx, cy), written out: every operation
// rounded to the precision of x, y, a, b and m (`bits`); visit(n, x, y) sees
// each z.
template <class Visit>
long plainLoop(mpfr_srcptr cx, mpfr_srcptr cy, long imax, mpfr_prec_t bits, Visit visit)
{
    Big x(bits), y(bits), a(bits), b(bits), m(bits);
    mpfr_set_zero(x.v, 1);
    mpfr_set_zero(y.v, 1);
    mpfr_set_zero(m.v, 1);
    long n = 0;
    while (mpfr_cmp_ui(m.v, 5) <= 0 && n < imax) {
        mpfr_mul(a.v, x.v, x.v, MPFR_RNDN);
        mpfr_mul(b.v, y.v, y.v, MPFR_RNDN);
        mpfr_sub(a.v, a.v, b.v, MPFR_RNDN);
        mpfr_mul_ui(b.v, x.v, 2, MPFR_RNDN);
        mpfr_mul(b.v, b.v, y.v, MPFR_RNDN);
        mpfr_add(x.v, a.v, cx, MPFR_RNDN);
        mpfr_add(y.v, b.v, cy, MPFR_RNDN);
        ++n;
        visit(n, x.v, y.v);
        mpfr_mul(a.v, x.v, x.v, MPFR_RNDN);
        mpfr_mul(b.v, y.v, y.v, MPFR_RNDN);
        mpfr_add(m.v, a.v, b.v, MPFR_RNDN);
    }
    return n;
}

// The plain loop at the test's own point of pixel (p, q), all at `bits`.
long plainCount(const Place &place, int p, int q, mpfr_prec_t bits)
{
    Big cx(bits), cy(bits);
    pixelPoint(place.re, place, p, place.wide, cx.v);
    pixelPoint(place.im, place, q, place.high, cy.v);
    return plainLoop(cx.v, cy.v, place.imax, bits, [](long, mpfr_srcptr, mpfr_srcptr) {});
}

// P as the test reckons it: 2^a bounds every coordinate of the view, the
// spacing of neighbouring centres is at least 2^s: a − s + 2 bits (at least
// 53) tell them apart; 64 more.
mpfr_prec_t testPrecision(const Place &place)
{
    Big reach(64), other(64), spacing(64);
    mpfr_set_str(reach.v, withPoint(place.re).c_str(), 10, MPFR_RNDN);
    mpfr_set_str(other.v, withPoint(place.im).c_str(), 10, MPFR_RNDN);
    mpfr_abs(reach.v, reach.v, MPFR_RNDU);
    mpfr_abs(other.v, other.v, MPFR_RNDU);
    mpfr_max(reach.v, reach.v, other.v, MPFR_RNDU);
    mpfr_set_str(spacing.v, withPoint(place.width).c_str(), 10, MPFR_RNDN);
    mpfr_mul_d(other.v, spacing.v, std::max(place.wide, place.high) / (2.0 * place.wide), MPFR_RNDU);
    mpfr_add(reach.v, reach.v, other.v, MPFR_RNDU);
    mpfr_div_ui(spacing.v, spacing.v, place.wide, MPFR_RNDD);
    const long bits = mpfr_get_exp(reach.v) - (mpfr_get_exp(spacing.v) - 1) + 2;
    return std::max(53L, bits) + 64;
}

// Pixels spread over the view by a fixed sequence, corners included.
std::vector<QPoint> samples(const Place &place, int count)
{
    std::vector<QPoint> points{{0, 0}, {place.wide - 1, place.high - 1}};
    unsigned state = 12345;
    while (int(points.size()) < count) {
        state = state * 1103515245u + 12345u;
        const int p = int((state >> 8) % unsigned(place.wide));
        state = state * 1103515245u + 12345u;
        points.push_back({p, int((state >> 8) % unsigned(place.high))});
    }
    return points;
}

DeepView viewOf(const Place &place)
{
    const auto view = DeepView::make(place.re, place.im, place.width, place.wide, place.high);
    if (!view)
        qFatal("the test's place is not a view");
    return *view;
}

// The Misiurewicz point i (0 → i → −1 + i → −i → −1 + i …): structure at
// every depth. The centres sit a few pixels off it, so that the picture is
// not symmetric about its centre.
constexpr int Wide = 160;
constexpr int High = 90;
constexpr int Samples = 40;

// exact: |text − x| <= ulp(x)/2, decided in rationals.
bool roundedToNearest(const std::string &text, mpfr_srcptr x)
{
    std::string digits = withPoint(text);
    long exponent = 0;
    if (const std::size_t e = digits.find_first_of("eE"); e != std::string::npos) {
        exponent = std::stol(digits.substr(e + 1));
        digits.resize(e);
    }
    if (const std::size_t point = digits.find('.'); point != std::string::npos) {
        exponent -= long(digits.size() - point - 1);
        digits.erase(point, 1);
    }
    mpq_t exact, value, ulp, scale;
    mpq_inits(exact, value, ulp, scale, nullptr);
    mpz_set_str(mpq_numref(exact), digits.c_str(), 10);
    mpz_ui_pow_ui(mpq_numref(scale), 10, std::labs(exponent));
    if (exponent < 0)
        mpq_div(exact, exact, scale);
    else
        mpq_mul(exact, exact, scale);
    mpfr_get_q(value, x);
    mpq_sub(value, value, exact);
    mpq_abs(value, value);
    // ulp/2 = 2^(exp − prec − 1)
    const long halfUlp = mpfr_get_exp(x) - long(mpfr_get_prec(x)) - 1;
    mpq_set_ui(ulp, 1, 1);
    if (halfUlp < 0)
        mpz_mul_2exp(mpq_denref(ulp), mpq_denref(ulp), -halfUlp);
    else
        mpz_mul_2exp(mpq_numref(ulp), mpq_numref(ulp), halfUlp);
    mpq_canonicalize(ulp);
    const bool nearest = mpq_cmp(value, ulp) <= 0;
    mpq_clears(exact, value, ulp, scale, nullptr);
    return nearest;
}

std::string longDigits(int count, unsigned seed)
{
    std::string digits;
    for (int k = 0; k < count; ++k) {
        seed = seed * 1103515245u + 12345u;
        digits += char('0' + (seed >> 16) % 10);
    }
    return digits;
}

// The texts a written picture records, by key.
std::map<QByteArray, QByteArray> textsOf(const QString &path)
{
    QFile file(path);
    std::map<QByteArray, QByteArray> texts;
    QString whyNot;
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    if (const auto png = readPngTexts(file, &whyNot)) {
        for (const auto &[key, value] : png->texts)
            texts[key] = value;
    }
    return texts;
}

// Random double-words for the arithmetic's tests: full 53-bit mantissas,
// lo anywhere within half an ulp of hi, random signs.
struct RandomWords
{
    unsigned state = 4242;

    double next()
    {
        state = state * 1103515245u + 12345u;
        return double((state >> 4) & 0xFFFFFFF) / double(0x10000000);
    }

    DoubleDouble word(int scale)
    {
        const double mantissa = (1.0 + next()) + next() * 0x1p-28;
        const double hi = std::ldexp(mantissa, scale) * (next() < 0.5 ? -1.0 : 1.0);
        const double ulp = std::nextafter(std::fabs(hi), INFINITY) - std::fabs(hi);
        return DoubleDouble{hi, ulp * (next() - 0.5) * (1.0 - 0x1p-20)};
    }
};

void setWord(mpfr_ptr target, DoubleDouble x)
{
    mpfr_set_d(target, x.hi, MPFR_RNDN);
    mpfr_add_d(target, target, x.lo, MPFR_RNDN);
}

} // namespace

class tst_deepkernel : public QObject
{
    Q_OBJECT

private slots:
    void readsTextsToNearest_data();
    void readsTextsToNearest();
    void refusesOtherTexts_data();
    void refusesOtherTexts();
    void matchesPlainLoop_data();
    void matchesPlainLoop();
    void switchesAtStatedDepth_data();
    void switchesAtStatedDepth();
    void doubleWordsKeepTheirBounds_data();
    void doubleWordsKeepTheirBounds();
    void dotPlusKeepsItsBound();
    void floatExpAgreesWithLibrary();
    void countsTheCentreOfOddViews();
    void recountsDoubtfulPixels_data();
    void recountsDoubtfulPixels();
    void provesInteriorOnlyInside();
    void provesBulbsInside_data();
    void provesBulbsInside();
    void skippingKeepsCounts_data();
    void skippingKeepsCounts();
    void skipNodesBoundTheirMaps();
    void skipSizeBoundsModulus();
    void sharedByThreads_data();
    void sharedByThreads();
    void laneBuildsAgree();
    void deepStillMatchesPlainLoop();
    void longTextsRoundTrip();
    void refusesMixedViews_data();
    void refusesMixedViews();
};

void tst_deepkernel::readsTextsToNearest_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bits");
    QTest::newRow("comma, 53 bits") << "-1,4025" << 53;
    QTest::newRow("point and exponent") << "1.25E-06" << 80;
    QTest::newRow("tenth, 4 bits") << "0,1" << 4;
    QTest::newRow("1200 digits at 4000 bits")
        << QString::fromStdString("0," + longDigits(1200, 7)) << 4000;
    QTest::newRow("1200 digits at 300 bits")
        << QString::fromStdString("-3," + longDigits(1200, 11) + "E-1000") << 300;
    QTest::newRow("huge exponent") << "9,99E+1000" << 120;
    // 2^-1000 written out has exactly 1000 decimals: read at 1 bit it is exact.
    QTest::newRow("two to the -1000")
        << QString::fromStdString([] {
               Big x(8);
               mpfr_set_ui_2exp(x.v, 1, -1000, MPFR_RNDN);
               char *text = nullptr;
               mpfr_asprintf(&text, "%.1000Rf", x.v);
               std::string s(text);
               mpfr_free_str(text);
               return s;
           }())
        << 2;
}

void tst_deepkernel::readsTextsToNearest()
{
    QFETCH(QString, text);
    QFETCH(int, bits);
    const std::string ascii = text.toStdString();
    Big x(bits);
    QVERIFY(DecimalText::read(ascii, x.v));
    QVERIFY(roundedToNearest(ascii, x.v));
    // Read again at twice the bits, rounding to `bits` must give x back.
    Big fine(2 * bits + 64), again(bits);
    QVERIFY(DecimalText::read(ascii, fine.v));
    mpfr_set(again.v, fine.v, MPFR_RNDN);
    QCOMPARE(mpfr_cmp(again.v, x.v), 0);
}

void tst_deepkernel::refusesOtherTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("two separators") << "1,2,3";
    QTest::newRow("empty") << "";
    QTest::newRow("no digits before E") << "E5";
    QTest::newRow("no exponent digits") << "1e";
    QTest::newRow("two signs") << "--1";
    QTest::newRow("trailing separator") << "1,";
    QTest::newRow("beyond the range") << "1E999999999";
}

void tst_deepkernel::refusesOtherTexts()
{
    QFETCH(QString, text);
    Big x(64);
    mpfr_set_ui(x.v, 7, MPFR_RNDN);
    QVERIFY(!DecimalText::read(text.toStdString(), x.v));
    QCOMPARE(mpfr_cmp_ui(x.v, 7), 0);
}

void tst_deepkernel::matchesPlainLoop_data()
{
    QTest::addColumn<QString>("re");
    QTest::addColumn<QString>("im");
    QTest::addColumn<QString>("width");
    QTest::addColumn<int>("imax");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("referenceSteps");
    QTest::newRow("i, 1E-20") << "0,000000000000000000000213" << "1,0000000000000000000000871"
                              << "1E-20" << 5000 << false << 0;
    QTest::newRow("i, 1E-60")
        << "0,00000000000000000000000000000000000000000000000000000000000000213"
        << "1,00000000000000000000000000000000000000000000000000000000000000871"
        << "1E-60" << 5000 << false << 0;
    // Orbits of about 170 steps, a reference of 40: pixels restart at its
    // end again and again.
    QTest::newRow("i, 1E-60, short reference")
        << "0,00000000000000000000000000000000000000000000000000000000000000213"
        << "1,00000000000000000000000000000000000000000000000000000000000000871"
        << "1E-60" << 5000 << false << 40;
    QTest::newRow("i, 1E-320, FloatExp")
        << "2,13E-322" << "1" << "1E-320" << 5000 << true << 0;
    // A minibrot of period 399 some 1E-150 from i, its nucleus given to 420
    // digits: the reference returns within 1E-400 of 0 every 399 steps, far
    // below the double range, and so do the pixels' deltas, narrower than
    // 2^-1000.
    QTest::newRow("minibrot 399, 2E-299, FloatExp")
        << Mini399Re << Mini399Im
        << "2E-299" << 20000 << true << 0;
    // Left of −2 an orbit runs along 2, 2, 2, … and away, never near 0;
    // right of it, it wanders through [−2, 2] first.
    QTest::newRow("tip, 1E-20") << "-2" << "0" << "1E-20" << 5000 << false << 0;
}

void tst_deepkernel::matchesPlainLoop()
{
    QFETCH(QString, re);
    QFETCH(QString, im);
    QFETCH(QString, width);
    QFETCH(int, imax);
    QFETCH(bool, extended);
    QFETCH(int, referenceSteps);
    const Place place{re.toStdString(), im.toStdString(), width.toStdString(), Wide, High, imax};
    const DeepView view = viewOf(place);
    QCOMPARE(view.precision(), testPrecision(place));
    const DeepKernel kernel(view, imax,
                            referenceSteps > 0 ? referenceSteps : DeepKernel::ReferenceSteps);
    DeepWork work;
    int determined = 0;
    std::set<long> counts;
    std::set<bool> rebased;
    for (const QPoint pixel : samples(place, Samples)) {
        const std::int64_t rebasesBefore = work.rebases;
        const long count = kernel.count(pixel.x(), pixel.y(), work);
        rebased.insert(work.rebases > rebasesBefore);
        const long atP = plainCount(place, pixel.x(), pixel.y(), view.precision());
        const long at2P = plainCount(place, pixel.x(), pixel.y(), 2 * view.precision());
        counts.insert(atP);
        if (atP != at2P)
            continue;
        ++determined;
        QCOMPARE(count, atP);
    }
    // The place must be worth the name: mostly determined, with structure.
    QVERIFY2(determined >= Samples * 9 / 10, qPrintable(QString::number(determined)));
    QVERIFY2(counts.size() >= 5, qPrintable(QString::number(counts.size())));
    QCOMPARE(work.extendedPixels, extended ? work.pixels : 0);
    // The counts above came with steps skipped (the skip table is on), at
    // 1E-320 while the deltas lay below the double range.
    QVERIFY(work.skipped > 0);
    // The bounds vouch for nearly every count: few go to the plain loop.
    QVERIFY2(work.recomputed * 10 <= work.pixels, qPrintable(QString::number(work.recomputed)));
    if (referenceSteps > 0) {
        QVERIFY(work.referenceEnds >= work.pixels);
        return;
    }
    // Both ways through: pixels that came closer to 0 than the reference
    // and were rebased, and pixels that followed it to the end.
    QCOMPARE(rebased.size(), std::size_t(2));
}

void tst_deepkernel::switchesAtStatedDepth_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<bool>("deep");
    // Near |c| = 0,74 a double's ulp is 2^-53: deep below 2^-43 ≈ 1,14E-13.
    QTest::newRow("spacing 1,20E-13: doubles") << "1,92E-11" << false;
    QTest::newRow("spacing 1,10E-13: deep") << "1,76E-11" << true;
}

void tst_deepkernel::switchesAtStatedDepth()
{
    QFETCH(QString, width);
    QFETCH(bool, deep);
    const Place place{"-0,7436438870371587", "0,1318259042053119", width.toStdString(),
                      Wide, High, 3000};
    const DeepView view = viewOf(place);
    QCOMPARE(view.needsDeep(), deep);
    const ViewCounter counter(view, place.imax);
    QCOMPARE(counter.deep(), deep);
    // Neighbouring centres as doubles: at least 2^9 ulps apart while doubles
    // hold the view, fewer than 2^11 once deep.
    Big a(view.precision()), b(view.precision());
    pixelPoint(place.re, place, 0, Wide, a.v);
    pixelPoint(place.re, place, 1, Wide, b.v);
    const double left = mpfr_get_d(a.v, MPFR_RNDN), right = mpfr_get_d(b.v, MPFR_RNDN);
    const double ulps = (right - left) / (std::nextafter(left, 1.0) - left);
    QVERIFY2(deep ? ulps < 2048 : ulps >= 512, qPrintable(QString::number(ulps)));

    DeepWork work;
    for (const QPoint pixel : samples(place, Samples)) {
        const long count = counter.count(pixel.x(), pixel.y(), work);
        if (!deep) {
            Big cx(view.precision()), cy(view.precision());
            pixelPoint(place.re, place, pixel.x(), Wide, cx.v);
            pixelPoint(place.im, place, pixel.y(), High, cy.v);
            QCOMPARE(count, long(punkt_iteration(mpfr_get_d(cx.v, MPFR_RNDN),
                                                 mpfr_get_d(cy.v, MPFR_RNDN), EscapeBound,
                                                 std::int16_t(place.imax))));
        } else if (const long atP = plainCount(place, pixel.x(), pixel.y(), view.precision());
                   atP == plainCount(place, pixel.x(), pixel.y(), 2 * view.precision())) {
            QCOMPARE(count, atP);
        }
    }
}

void tst_deepkernel::doubleWordsKeepTheirBounds_data()
{
    QTest::addColumn<bool>("product");
    QTest::addColumn<double>("bound"); // relative, in units of u² = 2^-106
    QTest::newRow("sum: 3u² + 13u³") << false << 3.0 + 13.0 * 0x1p-53;
    QTest::newRow("product: 7u²") << true << 7.0;
}

// The published relative error bounds the second chance relies on, against
// MPFR's exact results, on double-words of random signs and magnitudes,
// sums with cancellation among them; results are double-words again.
void tst_deepkernel::doubleWordsKeepTheirBounds()
{
    QFETCH(bool, product);
    QFETCH(double, bound);
    constexpr int Pairs = 200000;
    RandomWords random;
    const auto next = [&random] { return random.next(); };
    const auto word = [&random](int scale) { return random.word(scale); };
    Big x(400), y(400), exact(400), error(400);
    double worst = 0.0;
    for (int k = 0; k < Pairs; ++k) {
        const DoubleDouble a = word(int(next() * 40) - 20);
        DoubleDouble b = word(int(next() * 40) - 20);
        if (!product && k % 2 == 0)
            b = -DoubleDouble{a.hi, a.lo * next()}; // cancellation
        const DoubleDouble r = product ? a * b : a + b;
        QCOMPARE(r.hi + r.lo, r.hi);
        mpfr_set_d(x.v, a.hi, MPFR_RNDN);
        mpfr_add_d(x.v, x.v, a.lo, MPFR_RNDN);
        mpfr_set_d(y.v, b.hi, MPFR_RNDN);
        mpfr_add_d(y.v, y.v, b.lo, MPFR_RNDN);
        (product ? mpfr_mul : mpfr_add)(exact.v, x.v, y.v, MPFR_RNDN);
        if (mpfr_zero_p(exact.v))
            continue;
        mpfr_sub_d(error.v, exact.v, r.hi, MPFR_RNDN);
        mpfr_sub_d(error.v, error.v, r.lo, MPFR_RNDN);
        mpfr_div(error.v, error.v, exact.v, MPFR_RNDN);
        mpfr_mul_2si(error.v, error.v, 106, MPFR_RNDN);
        worst = std::max(worst, std::fabs(mpfr_get_d(error.v, MPFR_RNDN)));
    }
    qDebug("relative error at most %.3g u²", worst);
    QVERIFY2(worst <= bound, qPrintable(QString::number(worst)));
    // The operations really are about 106 bits, not 53.
    QVERIFY(worst > 0.1);
}

// x1·y1 + x2·y2 + c against MPFR's exact result, within 26u² of the
// products' sizes and 5u² of |c|, also where the terms cancel each other.
void tst_deepkernel::dotPlusKeepsItsBound()
{
    constexpr int Triples = 100000;
    RandomWords random;
    Big x(400), y(400), term(400), exact(400);
    double worst = 0.0;
    for (int k = 0; k < Triples; ++k) {
        const DoubleDouble x1 = random.word(int(random.next() * 40) - 20);
        const DoubleDouble y1 = random.word(int(random.next() * 40) - 20);
        DoubleDouble x2 = random.word(int(random.next() * 40) - 20);
        DoubleDouble y2 = random.word(int(random.next() * 40) - 20);
        DoubleDouble c = random.word(int(random.next() * 80) - 40);
        if (k % 3 == 1) { // the products cancel
            x2 = -DoubleDouble{x1.hi, x1.lo * random.next()};
            y2 = y1;
        } else if (k % 3 == 2) { // c cancels them
            c = -(x1 * y1 + x2 * y2);
        }
        const DoubleDouble r = dotPlus(x1, y1, x2, y2, c);
        QCOMPARE(r.hi + r.lo, r.hi);
        setWord(x.v, x1);
        setWord(y.v, y1);
        mpfr_mul(exact.v, x.v, y.v, MPFR_RNDN);
        setWord(x.v, x2);
        setWord(y.v, y2);
        mpfr_mul(term.v, x.v, y.v, MPFR_RNDN);
        mpfr_add(exact.v, exact.v, term.v, MPFR_RNDN);
        setWord(term.v, c);
        mpfr_add(exact.v, exact.v, term.v, MPFR_RNDN);
        mpfr_sub_d(exact.v, exact.v, r.hi, MPFR_RNDN);
        mpfr_sub_d(exact.v, exact.v, r.lo, MPFR_RNDN);
        const double sizes = 26.0 * (magnitude(x1) * magnitude(y1) + magnitude(x2) * magnitude(y2))
                             + 5.0 * magnitude(c);
        mpfr_mul_2si(exact.v, exact.v, 106, MPFR_RNDN);
        worst = std::max(worst, std::fabs(mpfr_get_d(exact.v, MPFR_RNDN)) / sizes);
    }
    qDebug("error at most %.3g of the bound", worst);
    QVERIFY2(worst <= 1.0, qPrintable(QString::number(worst)));
    // About 106 bits, not 53: the bound is not loose by a factor 2^53.
    QVERIFY(worst > 1E-3);
}

// FloatExp normalises and scales by the exponent's bits; the counts below
// 1E-300 rest on its giving exactly what frexp() and ldexp() give, for any
// bits of the mantissa (subnormal, zero, infinite, NaN) and any exponent.
void tst_deepkernel::floatExpAgreesWithLibrary()
{
    std::mt19937_64 random(20261208);
    const auto same = [](double a, double b) {
        return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b)
               || (std::isnan(a) && std::isnan(b));
    };
    for (int k = 0; k < 1000000; ++k) {
        const double x = std::bit_cast<double>(random());
        const std::int64_t e = std::int64_t(random() % 2600) - 1300;
        int shift = 0;
        const double mantissa = std::frexp(x, &shift);
        const FloatExp f = FloatExp::normalised(x, e);
        QVERIFY(same(f.m, mantissa));
        if (mantissa != 0.0 && std::isfinite(mantissa))
            QCOMPARE(f.e, e + shift);
        if (std::isfinite(mantissa) && mantissa != 0.0)
            QVERIFY(same(FloatExp{mantissa, e}.toDouble(), std::ldexp(mantissa, int(e))));
        const int down = -int(random() % 65);
        QVERIFY(same(mantissa * FloatExp::twoTo(down), std::ldexp(mantissa, down)));
    }
}

// The centre pixel of a view of odd size has dc = 0 exactly: below the
// double range its delta has no scale of its own, and it follows the
// reference to its escape.
void tst_deepkernel::countsTheCentreOfOddViews()
{
    const Place place{"2,13E-322", "1", "1E-320", 5, 5, 2000};
    const DeepView view = viewOf(place);
    const DeepKernel kernel(view, place.imax);
    DeepWork work;
    for (int p = 1; p <= 3; ++p)
        QCOMPARE(kernel.count(p, 2, work), plainCount(place, p, 2, view.precision()));
    QCOMPARE(work.extendedPixels, work.pixels);
}

void tst_deepkernel::recountsDoubtfulPixels_data()
{
    QTest::addColumn<QString>("re");
    QTest::addColumn<QString>("im");
    QTest::addColumn<QString>("width");
    QTest::addColumn<int>("imax");
    // Just below the switch, orbits of thousands of steps leave some escape
    // tests within their error bound.
    QTest::newRow("near the switch, 1,76E-11")
        << "-0,7436438870371587" << "0,1318259042053119" << "1,76E-11" << 10000;
    // Long orbits with many rebases around the minibrot's copy.
    QTest::newRow("minibrot 1053, 2E-68")
        << Mini1053Re << Mini1053Im << "2E-68"
        << 20000;
}

// The largest |z − exact z| / bound over the steps of a second-chance run
// of pixel (p, q), the exact orbit being the test's loop at 4P bits from
// the test's own P-bit point, for the double-double z and for the escape
// test's z in doubles; above 1 a bound failed.
struct Worst
{
    double exact = 0.0, rough = 0.0;
};

Worst worstOfBound(const Place &place, const DeepView &view, int p, int q)
{
    const mpfr_prec_t bits = view.precision(), fine = 4 * bits;
    Big cx(bits), cy(bits), dx(bits), dy(bits), ex(fine), ey(fine);
    pixelPoint(place.re, place, p, place.wide, cx.v);
    pixelPoint(place.im, place, q, place.high, cy.v);
    mpfr_sub(dx.v, cx.v, view.centreRe().get(), MPFR_RNDN);
    mpfr_sub(dy.v, cy.v, view.centreIm().get(), MPFR_RNDN);
    const SecondChance chance(view.centreRe().get(), view.centreIm().get(), place.imax);
    std::vector<SecondChance::Step> trace;
    chance.run(toDoubleDouble(dx.v), toDoubleDouble(dy.v), &trace);
    Worst worst;
    // |z − exact z| / bound, the differences exact: each part is one or two doubles.
    const auto ratio = [&](mpfr_srcptr x, mpfr_srcptr y, DoubleDouble zx, DoubleDouble zy,
                           double bound) {
        mpfr_sub_d(ex.v, x, zx.hi, MPFR_RNDN);
        mpfr_sub_d(ex.v, ex.v, zx.lo, MPFR_RNDN);
        mpfr_sub_d(ey.v, y, zy.hi, MPFR_RNDN);
        mpfr_sub_d(ey.v, ey.v, zy.lo, MPFR_RNDN);
        mpfr_hypot(ex.v, ex.v, ey.v, MPFR_RNDU);
        return mpfr_get_d(ex.v, MPFR_RNDU) / bound;
    };
    plainLoop(cx.v, cy.v, long(trace.size()), fine, [&](long n, mpfr_srcptr x, mpfr_srcptr y) {
        const SecondChance::Step &step = trace[std::size_t(n - 1)];
        worst.exact = std::max(worst.exact, ratio(x, y, step.zx, step.zy, step.zError));
        worst.rough = std::max(worst.rough, ratio(x, y, {step.roughX, 0.0}, {step.roughY, 0.0},
                                                  step.roughError));
    });
    return worst;
}

// Pixels the lanes leave in doubt: without the second chance each goes to
// the plain loop, with it most are decided in double-double; either way the
// count is the test's plain loop's wherever P and 2P agree. Along each
// double-double run, every z lies within its bound of the exact orbit.
void tst_deepkernel::recountsDoubtfulPixels()
{
    QFETCH(QString, re);
    QFETCH(QString, im);
    QFETCH(QString, width);
    QFETCH(int, imax);
    // Doubts are rare (some 0,05 % of the pixels at the minibrot).
    constexpr int Wanted = 6, Wider = 2 * Wide, Higher = 2 * High;
    const Place place{re.toStdString(), im.toStdString(), width.toStdString(), Wider, Higher, imax};
    DeepKernel plain(viewOf(place), place.imax), second(viewOf(place), place.imax);
    plain.setSecondChance(false);
    const mpfr_prec_t bits = plain.view().precision();
    DeepWork plainWork, secondWork;
    int doubts = 0, determined = 0;
    Worst worst;
    std::vector<std::int64_t> row(Wider);
    for (int q = 0; q < Higher && doubts < Wanted; ++q) {
        const std::int64_t before = plainWork.recomputed;
        plain.countRow(q, row.data(), plainWork);
        for (int p = 0; p < Wider && plainWork.recomputed > before && doubts < Wanted; ++p) {
            const std::int64_t handed = plainWork.recomputed;
            const long atP = plain.count(p, q, plainWork);
            if (plainWork.recomputed == handed)
                continue;
            ++doubts;
            const long recount = second.count(p, q, secondWork);
            const Worst run = worstOfBound(place, plain.view(), p, q);
            worst.exact = std::max(worst.exact, run.exact);
            worst.rough = std::max(worst.rough, run.rough);
            QVERIFY2(worst.exact <= 1.0 && worst.rough <= 1.0,
                     qPrintable(QStringLiteral("(%1, %2): %3 and %4 of the bounds")
                                    .arg(p).arg(q).arg(worst.exact).arg(worst.rough)));
            if (atP != plainCount(place, p, q, 2 * bits))
                continue;
            ++determined;
            QCOMPARE(atP, plainCount(place, p, q, bits));
            QCOMPARE(recount, atP);
        }
    }
    qDebug("%d doubtful pixels, %d determined, %lld decided in double-double in %lld steps; "
           "the distance to the exact orbit at most %.3g of the bound (%.3g in doubles)",
           doubts, determined, static_cast<long long>(secondWork.secondChances),
           static_cast<long long>(secondWork.secondSteps), worst.exact, worst.rough);
    QCOMPARE(doubts, Wanted);
    QVERIFY(determined >= Wanted / 2);
    // Every doubt went somewhere, and most were decided without MPFR.
    QCOMPARE(secondWork.secondChances + secondWork.recomputed, std::int64_t(doubts));
    QVERIFY(secondWork.secondChances * 4 >= std::int64_t(doubts) * 3);
}

// A minibrot of period 1053 near i (its nucleus at the view's centre, the
// whole copy in view): pixels inside it are proven never to escape, their
// count imax without every step taken, and the plain loop does not let them
// escape in three times as many steps; pixels just outside it run past the
// first interior tests (from 4 · 1053 steps on) and still escape at the
// plain loop's count. Every sampled pixel against the test's own loop.
void tst_deepkernel::provesInteriorOnlyInside()
{
    const Place place{Mini1053Re, Mini1053Im, "2E-68", Wide, High, 20000};
    constexpr long Period = Mini1053Period;
    const DeepKernel kernel(viewOf(place), place.imax);
    QCOMPARE(kernel.reference().nearReturn(), std::int64_t(Period));
    DeepWork work;
    int inside = 0, testedOutside = 0;
    for (const QPoint pixel : samples(place, 3 * Samples)) {
        const std::int64_t interiorBefore = work.interior;
        const long count = kernel.count(pixel.x(), pixel.y(), work);
        const long atP = plainCount(place, pixel.x(), pixel.y(), kernel.view().precision());
        if (work.interior > interiorBefore) {
            // "Never escapes": the plain loop stays three times as long.
            ++inside;
            Place longer = place;
            longer.imax = 3 * place.imax;
            QCOMPARE(plainCount(longer, pixel.x(), pixel.y(), kernel.view().precision()),
                     longer.imax);
        }
        testedOutside += count > 6 * Period && count < place.imax ? 1 : 0;
        if (atP == plainCount(place, pixel.x(), pixel.y(), 2 * kernel.view().precision()))
            QCOMPARE(count, atP);
    }
    QVERIFY2(inside >= 5, qPrintable(QString::number(inside)));
    QVERIFY(work.skipped > work.steps);
    QVERIFY2(testedOutside >= 2, qPrintable(QString::number(testedOutside)));
}

void tst_deepkernel::provesBulbsInside_data()
{
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("cycle");
    // Near the cardioid's boundary the returns close in slowly: a disk
    // around z(n) that also holds the cycle's point fails within imax.
    QTest::newRow("cardioid's rim") << QPoint(105, 47) << 1;
    // Nearer still, only disks aimed by their centres' derivatives (Newton)
    // and grown from the centre's own |z| shrink into themselves.
    QTest::newRow("cardioid's rim, nearer") << QPoint(117, 43) << 1;
    QTest::newRow("period-2 bulb") << QPoint(121, 34) << 2;
    QTest::newRow("period-3 bulb, above") << QPoint(76, 12) << 3;
    QTest::newRow("period-3 bulb, below") << QPoint(93, 74) << 3;
    QTest::newRow("period-4 bulb") << QPoint(133, 31) << 4;
}

// Pixels near the same minibrot's boundary and in its bulbs, where the
// plain loop's returns at multiples of 1053 alternate among `cycle` points:
// they are proven too, and the plain loop does not let them escape in three
// times imax steps.
void tst_deepkernel::provesBulbsInside()
{
    QFETCH(QPoint, pixel);
    QFETCH(int, cycle);
    const Place place{Mini1053Re, Mini1053Im, "2E-68", Wide, High, 20000};
    constexpr long Period = Mini1053Period;
    const DeepKernel kernel(viewOf(place), place.imax);
    DeepWork work;
    QCOMPARE(kernel.count(pixel.x(), pixel.y(), work), std::int64_t(place.imax));
    QCOMPARE(work.interior, std::int64_t(1));
    // The plain loop at the pixel's point, three times imax, keeping z at
    // every multiple of the period, rounded to doubles.
    const mpfr_prec_t bits = kernel.view().precision();
    Big cx(bits), cy(bits);
    pixelPoint(place.re, place, pixel.x(), place.wide, cx.v);
    pixelPoint(place.im, place, pixel.y(), place.high, cy.v);
    std::vector<std::complex<double>> returns;
    const long longer = 3 * place.imax;
    QCOMPARE(plainLoop(cx.v, cy.v, longer, bits, [&](long n, mpfr_srcptr x, mpfr_srcptr y) {
                 if (n % Period == 0)
                     returns.emplace_back(mpfr_get_d(x, MPFR_RNDN), mpfr_get_d(y, MPFR_RNDN));
             }),
             longer);
    // The row's pixel is in a bulb of that cycle: returns `cycle` periods
    // apart have closed in, returns fewer apart stay apart.
    const auto apart = [&](int periods) {
        return std::abs(returns.back() - returns[returns.size() - 1 - periods]);
    };
    for (int fewer = 1; fewer < cycle; ++fewer)
        QVERIFY(apart(cycle) * 1000.0 < apart(fewer));
}

void tst_deepkernel::skippingKeepsCounts_data()
{
    QTest::addColumn<QString>("re");
    QTest::addColumn<QString>("im");
    QTest::addColumn<QString>("width");
    QTest::addColumn<bool>("interior");
    QTest::newRow("minibrot 1053, 2E-68")
        << Mini1053Re << Mini1053Im << "2E-68"
        << false;
    // Skips land on the interior test, and the test's own steps skip.
    QTest::newRow("minibrot 1053, 2E-68, interior test")
        << Mini1053Re << Mini1053Im << "2E-68"
        << true;
    QTest::newRow("i, 1E-60, rebasing")
        << "0,00000000000000000000000000000000000000000000000000000000000000213"
        << "1,00000000000000000000000000000000000000000000000000000000000000871" << "1E-60"
        << false;
}

// A property of the skip table: skipping changes how many steps are taken,
// never a count, on every pixel of a small view.
void tst_deepkernel::skippingKeepsCounts()
{
    QFETCH(QString, re);
    QFETCH(QString, im);
    QFETCH(QString, width);
    QFETCH(bool, interior);
    constexpr int Side = 24;
    const Place place{re.toStdString(), im.toStdString(), width.toStdString(), Side, Side, 20000};
    DeepKernel kernel(viewOf(place), place.imax);
    kernel.setInteriorTest(interior);
    std::vector<std::int64_t> skipping(Side * Side), stepping(Side * Side);
    DeepWork skipped, stepped;
    for (int q = 0; q < Side; ++q)
        kernel.countRow(q, skipping.data() + q * Side, skipped);
    kernel.setStepSkipping(false);
    for (int q = 0; q < Side; ++q)
        kernel.countRow(q, stepping.data() + q * Side, stepped);
    QCOMPARE(skipping, stepping);
    QCOMPARE(stepped.skipped, std::int64_t(0));
    QVERIFY2(skipped.skipped > stepped.steps / 4, qPrintable(QString::number(skipped.skipped)));
    QVERIFY(std::set<std::int64_t>(stepping.begin(), stepping.end()).size() >= 5);
    QVERIFY(!interior || skipped.interior > 0);
}

// The skip table's promise, checked in MPFR: for nodes of every length at the
// period-1053 minibrot, exact deltas w on the rim of the node's radius and
// dc at the view's corners, the exact map of the node's steps against the
// test's own reference at P bits lands within k1·|w| + k2·|dc| of
// A·w + B·dc, and no z on the way has |z|² > 5. Too small a radius, k1 or
// k2 fails it.
void tst_deepkernel::skipNodesBoundTheirMaps()
{
    const Place place{Mini1053Re, Mini1053Im, "2E-68", Wide, High, 20000};
    constexpr std::int64_t Reach = 9000; // reference steps the nodes may span
    const DeepKernel kernel(viewOf(place), place.imax);
    const SkipTable &table = kernel.skipTable();
    const mpfr_prec_t bits = kernel.view().precision(), fine = 4 * bits;
    // The test's reference: the plain loop's operations at P bits.
    std::vector<std::unique_ptr<Big>> zx, zy;
    {
        Big cx(bits), cy(bits), x(bits), y(bits), a(bits), b(bits);
        mpfr_set_str(cx.v, withPoint(place.re).c_str(), 10, MPFR_RNDN);
        mpfr_set_str(cy.v, withPoint(place.im).c_str(), 10, MPFR_RNDN);
        mpfr_set_zero(x.v, 1);
        mpfr_set_zero(y.v, 1);
        for (std::int64_t j = 0; j <= Reach; ++j) {
            zx.push_back(std::make_unique<Big>(bits));
            zy.push_back(std::make_unique<Big>(bits));
            mpfr_set(zx.back()->v, x.v, MPFR_RNDN);
            mpfr_set(zy.back()->v, y.v, MPFR_RNDN);
            mpfr_mul(a.v, x.v, x.v, MPFR_RNDN);
            mpfr_mul(b.v, y.v, y.v, MPFR_RNDN);
            mpfr_sub(a.v, a.v, b.v, MPFR_RNDN);
            mpfr_mul_ui(b.v, x.v, 2, MPFR_RNDN);
            mpfr_mul(b.v, b.v, y.v, MPFR_RNDN);
            mpfr_add(x.v, a.v, cx.v, MPFR_RNDN);
            mpfr_add(y.v, b.v, cy.v, MPFR_RNDN);
        }
    }
    const double halfWidth = std::stod(withPoint(place.width)) / 2.0;
    const double halfHeight = halfWidth * High / Wide;
    Big wx(fine), wy(fine), a(fine), b(fine), t(fine), ex(fine), ey(fine);
    unsigned state = 777;
    const auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return double((state >> 8) & 0xFFFF) / 65536.0;
    };
    // The reference passes near 0 every 81 steps (the period-81 minibrot
    // nearby; 1053 = 13 · 81): no node crosses those steps, and each
    // 80-step stretch between them is one node from its start (or one of
    // 64 and one of 16).
    constexpr std::int64_t Return = 81;
    const std::set<std::int64_t> stretchStarts{1, Return + 1, Mini1053Period + 1, 100 * Return + 1};
    for (std::int64_t s = 1; s + Return < Reach; s += Return) {
        const int n = table.nodesAt(s);
        QCOMPARE(n, 7);
        QCOMPARE(table.steps(s, n - 1), Return - 1);
        QCOMPARE(table.steps(s, n - 2), std::int64_t(64));
        QCOMPARE(table.steps(s + 64, table.nodesAt(s + 64) - 1), std::int64_t(16));
        // The index's entry for the lanes: the longest node, marked where
        // it lands on more nodes (from s + 32 on s + 64), not on a hard step.
        QCOMPARE(table.start(s).radius, table.radius(s, n - 1));
        QCOMPARE(table.start(s).steps, std::uint32_t(Return - 1));
        QCOMPARE(table.start(s + 32).steps, 32u | SkipTable::Start::Onward);
    }
    // Nodes that apply by their length: of each, up to three spread over
    // the first Reach steps, and those from the starts above.
    std::map<std::int64_t, std::vector<std::pair<std::int64_t, int>>> applying;
    for (std::int64_t m = 1; m < Reach; ++m)
        for (int i = 0; i < table.nodesAt(m); ++i)
            if (table.radius(m, i) >= 0.0 && m + table.steps(m, i) < Reach)
                applying[table.steps(m, i)].emplace_back(m, i);
    int checked = 0;
    std::int64_t longest = 0;
    double worst = 0.0;
    for (const auto &[steps, nodes] : applying) {
        std::set<std::pair<std::int64_t, int>> picked;
        for (std::size_t k = 0; k < nodes.size() && picked.size() < 3; k += 1 + nodes.size() / 3)
            picked.insert(nodes[k]);
        for (const auto &start : nodes)
            if (stretchStarts.count(start.first) != 0)
                picked.insert(start);
        for (const auto &[m, i] : picked) {
            const SkipNode &node = table.node(m, i);
            for (int sample = 0; sample < 4; ++sample) {
                const double angle = 2.0 * M_PI * next();
                const double r = table.radius(m, i) * (1.0 - 0x1p-30);
                const double w0x = r * std::cos(angle), w0y = r * std::sin(angle);
                const double dcx = (sample & 1 ? 1 : -1) * halfWidth * (1.0 - 0x1p-30);
                const double dcy = (sample & 2 ? 1 : -1) * halfHeight * (1.0 - 0x1p-30);
                mpfr_set_d(wx.v, w0x, MPFR_RNDN);
                mpfr_set_d(wy.v, w0y, MPFR_RNDN);
                for (std::int64_t j = m; j < m + steps; ++j) {
                    // w' = (2Z + w)·w + dc
                    mpfr_mul_2ui(a.v, zx[j]->v, 1, MPFR_RNDN);
                    mpfr_add(a.v, a.v, wx.v, MPFR_RNDN);
                    mpfr_mul_2ui(b.v, zy[j]->v, 1, MPFR_RNDN);
                    mpfr_add(b.v, b.v, wy.v, MPFR_RNDN);
                    mpfr_mul(t.v, a.v, wx.v, MPFR_RNDN);
                    mpfr_mul(ex.v, b.v, wy.v, MPFR_RNDN);
                    mpfr_sub(t.v, t.v, ex.v, MPFR_RNDN);
                    mpfr_mul(a.v, a.v, wy.v, MPFR_RNDN);
                    mpfr_mul(b.v, b.v, wx.v, MPFR_RNDN);
                    mpfr_add(wy.v, a.v, b.v, MPFR_RNDN);
                    mpfr_add_d(wy.v, wy.v, dcy, MPFR_RNDN);
                    mpfr_add_d(wx.v, t.v, dcx, MPFR_RNDN);
                    // |Z + w|² <= 5 on the way
                    mpfr_add(a.v, zx[j + 1]->v, wx.v, MPFR_RNDN);
                    mpfr_add(b.v, zy[j + 1]->v, wy.v, MPFR_RNDN);
                    mpfr_hypot(t.v, a.v, b.v, MPFR_RNDN);
                    QVERIFY2(mpfr_cmp_d(t.v, std::sqrt(EscapeBound)) <= 0,
                             qPrintable(QStringLiteral("escape within the node at %1").arg(j)));
                }
                // The error against A·w + B·dc, from the doubles exactly.
                const auto linearPart = [&](mpfr_t sum, std::initializer_list<std::array<double, 3>> terms) {
                    mpfr_set_zero(sum, 1);
                    for (const auto &[sign, x, y] : terms) {
                        mpfr_set_d(a.v, x, MPFR_RNDN);
                        mpfr_mul_d(a.v, a.v, sign * y, MPFR_RNDN);
                        mpfr_add(sum, sum, a.v, MPFR_RNDN);
                    }
                };
                linearPart(ex.v, {{1, node.ax, w0x}, {-1, node.ay, w0y}, {1, node.bx, dcx}, {-1, node.by, dcy}});
                linearPart(ey.v, {{1, node.ax, w0y}, {1, node.ay, w0x}, {1, node.bx, dcy}, {1, node.by, dcx}});
                mpfr_sub(ex.v, wx.v, ex.v, MPFR_RNDN);
                mpfr_sub(ey.v, wy.v, ey.v, MPFR_RNDN);
                mpfr_hypot(t.v, ex.v, ey.v, MPFR_RNDU);
                const double bound = node.k1 * std::hypot(w0x, w0y) + node.k2 * std::hypot(dcx, dcy);
                worst = std::max(worst, mpfr_get_d(t.v, MPFR_RNDU) / bound);
                QVERIFY2(mpfr_cmp_d(t.v, bound) <= 0,
                         qPrintable(QStringLiteral("%1 steps at %2: error %3 above %4")
                                        .arg(steps).arg(m).arg(mpfr_get_d(t.v, MPFR_RNDU)).arg(bound)));
                ++checked;
            }
            longest = std::max(longest, steps);
        }
    }
    QVERIFY2(checked >= 40, qPrintable(QString::number(checked)));
    qDebug("%d maps checked, the longest %lld steps, error at most %.3g of the bound", checked,
           static_cast<long long>(longest), worst);
    QCOMPARE(longest, Return - 1);
}

// The size a skip compares with the nodes' radii, taken without a square
// root, is never below the exact modulus and at most 8.3 % above it, from
// the subnormal range to the largest doubles.
void tst_deepkernel::skipSizeBoundsModulus()
{
    Big exact(200);
    Big part(200);
    RandomWords random;
    for (int k = 0; k < 4000; ++k) {
        const double scale = std::ldexp(1.0, k % 40 == 0 ? -1074 + k % 7 : (k * 37) % 2000 - 1000);
        const double x = (k % 3 == 0 ? 0.0 : random.next() - 0.5) * scale;
        const double y = (k % 5 == 0 ? x : random.next() - 0.5) * scale;
        mpfr_set_d(exact.v, x, MPFR_RNDN);
        mpfr_set_d(part.v, y, MPFR_RNDN);
        mpfr_hypot(exact.v, exact.v, part.v, MPFR_RNDN);
        const double size = modulus(x, y);
        QVERIFY2(mpfr_cmp_d(exact.v, size) <= 0, qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
        mpfr_mul_d(exact.v, exact.v, 1.083, MPFR_RNDN);
        mpfr_add_d(exact.v, exact.v, 32.0 * std::numeric_limits<double>::denorm_min(), MPFR_RNDN);
        QVERIFY2(mpfr_cmp_d(exact.v, size) >= 0, qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
    }
}

// One kernel, rows counted by two threads at once, gives the counts that
// one thread gives (the thread sanitizer's build watches the sharing).
void tst_deepkernel::sharedByThreads_data()
{
    QTest::addColumn<QString>("re");
    QTest::addColumn<QString>("im");
    QTest::addColumn<QString>("width");
    QTest::addColumn<int>("imax");
    QTest::addColumn<bool>("doubts");
    QTest::newRow("i, 1E-60") << "0" << "1" << "1E-60" << 5000 << false;
    // Doubtful pixels in rows of both threads: the second chance's steps
    // are computed on the first of them, whichever thread meets it.
    QTest::newRow("near the switch, doubts")
        << "-0,7436438870371587" << "0,1318259042053119" << "1,76E-11" << 10000 << true;
}

void tst_deepkernel::sharedByThreads()
{
    QFETCH(QString, re);
    QFETCH(QString, im);
    QFETCH(QString, width);
    QFETCH(int, imax);
    QFETCH(bool, doubts);
    const Place place{re.toStdString(), im.toStdString(), width.toStdString(), Wide, High, imax};
    const DeepKernel kernel(viewOf(place), place.imax), own(viewOf(place), place.imax);
    constexpr int Rows = 8;
    std::vector<std::int64_t> alone(Rows * Wide), shared(Rows * Wide);
    std::vector<DeepWork> works(2);
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int q = t; q < Rows; q += 2)
                kernel.countRow(q, shared.data() + q * Wide, works[t]);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    DeepWork work;
    for (int q = 0; q < Rows; ++q)
        own.countRow(q, alone.data() + q * Wide, work);
    QCOMPARE(shared, alone);
    QCOMPARE(works[0].secondChances + works[1].secondChances, work.secondChances);
    QCOMPARE(works[0].secondChances > 0 && works[1].secondChances > 0, doubts);
}

// The lanes for any processor, the AVX2 ones and the AVX-512 ones (eight
// lanes, not four) step (and skip) the same operations, so they give the
// same results, pixel for pixel (pixels of i's view at 1E-20, orbits of
// some 60 steps, with rebases and skips).
void tst_deepkernel::laneBuildsAgree()
{
#if defined(QUIRL_X86_LANES)
    if (!__builtin_cpu_supports("avx2"))
        QSKIP("no AVX2 on this processor");
    const Place place{"0,000000000000000000000213", "1,0000000000000000000000871", "1E-20",
                      Wide, High, 5000};
    const DeepView view = viewOf(place);
    const DeepKernel kernel(view, place.imax);
    const ReferenceOrbit &reference = kernel.reference();
    LaneJob job{reference.x(), reference.y(), reference.last(), place.imax, {}, nullptr};
    job.skips = &kernel.skipTable();
    MpReal c(view.precision()), d(view.precision());
    for (int p = 0; p < Wide; ++p) {
        view.pixelRe(p, c.get());
        mpfr_sub(d.get(), c.get(), view.centreRe().get(), MPFR_RNDN);
        const double dcx = mpfr_get_d(d.get(), MPFR_RNDN);
        view.pixelIm(p % High, c.get());
        mpfr_sub(d.get(), c.get(), view.centreIm().get(), MPFR_RNDN);
        job.starts.push_back({p, dcx, mpfr_get_d(d.get(), MPFR_RNDN), {}});
    }
    const auto resultsOf = [&job](void (*run)(const LaneJob &)) {
        std::vector<PerturbationResult> results(Wide);
        job.results = results.data();
        run(job);
        return results;
    };
    const std::vector<PerturbationResult> generic = resultsOf(runLanesGeneric);
    std::vector<std::vector<PerturbationResult>> builds{resultsOf(runLanesAvx2)};
    if (std::string_view(laneBuildName()) == "avx512")
        builds.push_back(resultsOf(runLanesAvx512));
    std::set<std::int64_t> counts;
    std::int64_t rebases = 0, skipped = 0;
    for (int p = 0; p < Wide; ++p) {
        for (const std::vector<PerturbationResult> &build : builds) {
            QCOMPARE(build[p].count, generic[p].count);
            QCOMPARE(build[p].verdict, generic[p].verdict);
            QCOMPARE(build[p].rebases, generic[p].rebases);
            QCOMPARE(build[p].skipped, generic[p].skipped);
        }
        counts.insert(generic[p].count);
        skipped += generic[p].skipped;
        rebases += generic[p].rebases;
    }
    QVERIFY(counts.size() >= 5 && rebases > 0 && skipped > 0);
#else
    QSKIP("one lane build only");
#endif
}

// quirlbau --render with --re, --im, --width: its pixels against the
// test's plain loop, coloured through the swatch table with --cycle.
void tst_deepkernel::deepStillMatchesPlainLoop()
{
    const Place place{"0,000000000000000000000213", "1,0000000000000000000000871", "1E-20", 64, 36, 3000};
    QTemporaryDir folder;
    const Outcome run = runQuirlbau(folder.path(), {u"--render=deep.png"_qs, u"--re=0,000000000000000000000213"_qs,
                                                    u"--im=1,0000000000000000000000871"_qs, u"--width=1E-20"_qs,
                                                    u"--size=64x36"_qs, u"--imax=3000"_qs, u"--cycle"_qs});
    QCOMPARE(run.status, 0);
    const QImage image = pixelsOf(folder.filePath(u"deep.png"_qs));
    QCOMPARE(image.size(), QSize(place.wide, place.high));
    const mpfr_prec_t bits = viewOf(place).precision();
    int determined = 0;
    std::set<QRgb> colours;
    for (const QPoint pixel : samples(place, Samples)) {
        const long atP = plainCount(place, pixel.x(), pixel.y(), bits);
        if (atP != plainCount(place, pixel.x(), pixel.y(), 2 * bits))
            continue;
        ++determined;
        const QRgb expected = rgbOf(StandardColors[size_t(swatchForCount(int(atP), true))]);
        QCOMPARE(image.pixel(pixel), expected);
        colours.insert(expected);
    }
    QVERIFY(determined >= Samples * 9 / 10);
    QVERIFY(colours.size() >= 3);
}

// Texts of 320 digits are recorded exactly, --from carries them (and the
// largest Imax) on to the same picture, and the plain picture reading
// (the one --from uses for sections of doubles) refuses such a view with a
// reason.
void tst_deepkernel::longTextsRoundTrip()
{
    const QString re = QString::fromStdString("-1," + longDigits(320, 1));
    const QString im = QString::fromStdString("0," + longDigits(320, 2));
    const QString width = QString::fromStdString("1," + longDigits(320, 3) + "E-200");
    QTemporaryDir folder;
    const Outcome first = runQuirlbau(folder.path(), {u"--render=a.png"_qs, u"--re="_qs + re, u"--im="_qs + im,
                                                      u"--width="_qs + width, u"--size=12x7"_qs,
                                                      u"--imax=2147483647"_qs, u"--quiet"_qs});
    QCOMPARE(first.status, 0);
    const auto texts = textsOf(folder.filePath(u"a.png"_qs));
    QCOMPARE(texts.at("Re"), re.toUtf8());
    QCOMPARE(texts.at("Im"), im.toUtf8());
    QCOMPARE(texts.at("Width"), width.toUtf8());
    QCOMPARE(texts.at("Imax"), QByteArray("2147483647"));
    const Outcome again = runQuirlbau(folder.path(), {u"--render=b.png"_qs, u"--from=a.png"_qs, u"--quiet"_qs});
    QCOMPARE(again.status, 0);
    QCOMPARE(contentsOf(folder.filePath(u"b.png"_qs)), contentsOf(folder.filePath(u"a.png"_qs)));
    QFile file(folder.filePath(u"a.png"_qs));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString whyNot;
    QVERIFY(!pictureRecordFromTexts(readPngTexts(file, &whyNot)->texts, &whyNot));
    QVERIFY2(whyNot.contains(u"Tiefenansicht"_qs), qPrintable(whyNot));
}

void tst_deepkernel::refusesMixedViews_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("blamed");
    const QStringList view{u"--re=0"_qs, u"--im=1"_qs, u"--width=1E-20"_qs, u"--size=8"_qs};
    QTest::newRow("with --x0") << view + QStringList{u"--x0=-1"_qs} << u"--x0"_qs;
    QTest::newRow("a part missing") << QStringList{u"--re=0"_qs, u"--width=1"_qs, u"--size=8"_qs} << u"--im"_qs;
    QTest::newRow("Imax past 2^31 - 1") << view + QStringList{u"--imax=2147483648"_qs} << u"--imax"_qs;
}

void tst_deepkernel::refusesMixedViews()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, blamed);
    QTemporaryDir folder;
    const Outcome run = runQuirlbau(folder.path(), QStringList{u"--render=out.png"_qs} + arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(run.errors.count('\n'), 1);
    QVERIFY2(run.errors.startsWith("quirlbau: " + blamed.toUtf8() + ":"), run.errors.constData());
    QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(tst_deepkernel)
#include "tst_deepkernel.moc"
