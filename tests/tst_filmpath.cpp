#include "core/filmpath.h"
#include "core/squarepixels.h"
#include "deep/decimaltext.h"
#include "deep/mpreal.h"
#include "export/deepfilmpath.h"
#include "export/exactview.h"

#include <QTest>

#include <cmath>
#include <cstring>

// The zoom film's views: properties of the path, not its formulas.

Q_DECLARE_METATYPE(Section)
Q_DECLARE_METATYPE(FilmPath::Refusal)

namespace {

constexpr int Width = 1280;
constexpr int Height = 720;

// The seahorse valley, 1E-6 wide, widened to 16:9 like the film's views.
const Section Whole = squarePixels({-2, 2, -2, 2}, Width, Height);
const Section Seahorse = squarePixels({-0.7436444, -0.7436434, 0.1318254, 0.1318264}, Width, Height);

bool sameBits(const Section &a, const Section &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

double width(const Section &s)
{
    return s.x1 - s.x0;
}

double height(const Section &s)
{
    return s.y1 - s.y0;
}

// Bits that hold every text of the deep paths below exactly enough: far
// more than the path's own precision.
constexpr mpfr_prec_t ReadBits = 8000;

MpReal valueOf(const std::string &text)
{
    MpReal value(ReadBits);
    DecimalText::read(text, value.get());
    return value;
}

// Where the point lies in the view, in widths from its centre: (c − centre) / width.
MpReal spotOf(const MpReal &point, const std::string &centre, const std::string &width)
{
    MpReal spot(ReadBits);
    mpfr_sub(spot.get(), point.get(), valueOf(centre).get(), MPFR_RNDN);
    mpfr_div(spot.get(), spot.get(), valueOf(width).get(), MPFR_RNDN);
    return spot;
}

// |a − b| ≤ 2^exponent
bool within(const MpReal &a, const MpReal &b, long exponent)
{
    MpReal difference(ReadBits);
    mpfr_sub(difference.get(), a.get(), b.get(), MPFR_RNDN);
    return mpfr_zero_p(difference.get()) || mpfr_get_exp(difference.get()) <= exponent;
}

} // namespace

Q_DECLARE_METATYPE(ViewTexts)

class TestFilmPath : public QObject
{
    Q_OBJECT

private slots:
    void properties_data();
    void properties();
    void refused_data();
    void refused();
    void deepPath_data();
    void deepPath();
};

void TestFilmPath::properties_data()
{
    QTest::addColumn<Section>("start");
    QTest::addColumn<Section>("end");
    QTest::addColumn<int>("frames");
    QTest::newRow("whole set into the seahorse valley, 600 frames") << Whole << Seahorse << 600;
    QTest::newRow("two frames") << Whole << Seahorse << 2;
    QTest::newRow("out of the valley") << Seahorse << Whole << 300;
    QTest::newRow("both axes reversed in both views") << Section{2, -2, 2, -2} << Section{0.5, 0.25, -0.1, -0.35} << 97;
    QTest::newRow("down to 1E-13") << Whole << squarePixels({-1.25066, -1.25066 + 1e-13, 0.02012, 0.02012 + 1e-13},
                                                            Width, Height)
                                   << 900;
    QTest::newRow("hardly a zoom") << Section{-1, 1, -1, 1} << Section{-0.999, 0.999, -0.999, 0.999} << 50;
}

// The first and last frames are the views bit for bit; the width and the
// height change by one factor from frame to frame; the fixed point lies on
// the same spot of every frame; the frames stay the start's way round.
void TestFilmPath::properties()
{
    QFETCH(Section, start);
    QFETCH(Section, end);
    QFETCH(int, frames);
    const std::optional<FilmPath> path = FilmPath::between(start, end, frames);
    QVERIFY(path);
    QCOMPARE(path->frames(), frames);
    QVERIFY(sameBits(path->frame(0), start));
    QVERIFY(sameBits(path->frame(frames - 1), end));
    const double spotX = (path->fixedX() - start.x0) / width(start);
    const double spotY = (path->fixedY() - start.y0) / height(start);
    // A frame's edges are rounded to the double grid at their place; with it
    // a spot may move by the rounding over the frame's width, no more.
    for (int k = 0; k + 1 < frames; ++k) {
        const Section a = path->frame(k);
        const Section b = path->frame(k + 1);
        const double roundingX = 8e-16 * std::fmax(std::fabs(b.x0), std::fabs(b.x1)) / std::fabs(width(b));
        const double roundingY = 8e-16 * std::fmax(std::fabs(b.y0), std::fabs(b.y1)) / std::fabs(height(b));
        const QByteArray frame = QByteArray::number(k);
        QVERIFY2(std::fabs(width(b) / width(a) / path->stepX() - 1) <= 1e-9 + 2 * roundingX, frame);
        QVERIFY2(std::fabs(height(b) / height(a) / path->stepY() - 1) <= 1e-9 + 2 * roundingY, frame);
        QVERIFY(std::fabs((path->fixedX() - b.x0) / width(b) - spotX) <= 1e-9 + roundingX);
        QVERIFY(std::fabs((path->fixedY() - b.y0) / height(b) - spotY) <= 1e-9 + roundingY);
    }
    // The steady factor takes the start's width to the end's.
    QVERIFY(std::fabs(std::pow(path->stepX(), frames - 1) * width(start) / width(end) - 1) < 1e-9);
}

void TestFilmPath::refused_data()
{
    QTest::addColumn<Section>("start");
    QTest::addColumn<Section>("end");
    QTest::addColumn<FilmPath::Refusal>("refusal");
    QTest::newRow("end mirrored left to right") << Whole << Section{0.5, 0.25, 0.1, 0.35} << FilmPath::Refusal::Mirrored;
    QTest::newRow("end mirrored top to bottom") << Whole << Section{0.25, 0.5, 0.35, 0.1} << FilmPath::Refusal::Mirrored;
    QTest::newRow("start mirrored") << Section{2, -2, -2, 2} << Seahorse << FilmPath::Refusal::Mirrored;
    QTest::newRow("end without width") << Whole << Section{0.5, 0.5, 0.1, 0.35} << FilmPath::Refusal::Empty;
    QTest::newRow("same size elsewhere") << Section{-1, 1, -1, 1} << Section{0, 2, -1, 1} << FilmPath::Refusal::NoZoom;
}

void TestFilmPath::refused()
{
    QFETCH(Section, start);
    QFETCH(Section, end);
    QFETCH(FilmPath::Refusal, refusal);
    FilmPath::Refusal why{};
    QVERIFY(!FilmPath::between(start, end, 100, &why));
    QCOMPARE(why, refusal);
}

void TestFilmPath::deepPath_data()
{
    QTest::addColumn<ViewTexts>("start");
    QTest::addColumn<ViewTexts>("end");
    QTest::addColumn<int>("frames");
    const ViewTexts whole = *ExactView::viewOfSection(Whole, Width, Height);
    const ViewTexts i300{"0", "1", "1E-300"};
    QTest::newRow("whole set down to i at 1E-300") << whole << i300 << 600;
    QTest::newRow("out of 1E-1000 to the whole set") << ViewTexts{"-0,1010963638456", "0,9562865108091", "4,5E-1000"}
                                                     << whole << 90;
    QTest::newRow("1E-20 beside i to 1E-130 elsewhere")
        << ViewTexts{"1E-18", "1,0000000000000000001", "1E-20"}
        << ViewTexts{"-0,00000000000000000000123456789012345678901234567890123456789", "1,000000000000000000004",
                     "7E-130"}
        << 25;
}

// The deep path's properties, checked far beyond its own precision: the
// first and last frames are the views' texts unchanged; the width changes by
// one factor from frame to frame; the fixed point stays on the same spot of
// every frame, to a tiny fraction of the deepest frame's pixel.
void TestFilmPath::deepPath()
{
    QFETCH(ViewTexts, start);
    QFETCH(ViewTexts, end);
    QFETCH(int, frames);
    // A view given as a section keeps it, for its frame to show bit for bit.
    const ViewTexts whole = *ExactView::viewOfSection(Whole, Width, Height);
    const std::optional<Section> endSection = end == whole ? std::optional(Whole) : std::nullopt;
    const auto path = DeepFilmPath::between({start, std::nullopt}, {end, endSection}, frames, Width, Height);
    QVERIFY(path);
    QVERIFY(path->frame(0).texts == start && !path->frame(0).section);
    QVERIFY(path->frame(frames - 1).texts == end);
    QCOMPARE(path->frame(frames - 1).section.has_value(), endSection.has_value());
    QVERIFY(!path->frame(frames / 2).section);
    // Fixed point c from the two views and the ratio r of their widths: c = (e − r·s) / (1 − r).
    MpReal ratio(ReadBits), fixed[2] = {MpReal(ReadBits), MpReal(ReadBits)}, scratch(ReadBits);
    mpfr_div(ratio.get(), valueOf(end.width).get(), valueOf(start.width).get(), MPFR_RNDN);
    const std::string ViewTexts::*centres[2] = {&ViewTexts::re, &ViewTexts::im};
    for (int axis = 0; axis < 2; ++axis) {
        mpfr_mul(scratch.get(), ratio.get(), valueOf(start.*centres[axis]).get(), MPFR_RNDN);
        mpfr_sub(fixed[axis].get(), valueOf(end.*centres[axis]).get(), scratch.get(), MPFR_RNDN);
        mpfr_ui_sub(scratch.get(), 1, ratio.get(), MPFR_RNDN);
        mpfr_div(fixed[axis].get(), fixed[axis].get(), scratch.get(), MPFR_RNDN);
    }
    // The frame's texts hold P + 64 bits of the deepest frame: errors far
    // below 2^-64 of its pixel, which is 1/1280 of its width.
    const long tolerance = -64 - 11 + 2;
    MpReal step(ReadBits), firstStep(ReadBits);
    for (int k = 0; k + 1 < frames; ++k) {
        const ViewTexts a = path->frame(k).texts, b = path->frame(k + 1).texts;
        const QByteArray frame = QByteArray::number(k);
        mpfr_div(step.get(), valueOf(b.width).get(), valueOf(a.width).get(), MPFR_RNDN);
        if (k == 0)
            mpfr_set(firstStep.get(), step.get(), MPFR_RNDN);
        mpfr_div(step.get(), step.get(), firstStep.get(), MPFR_RNDN);
        QVERIFY2(within(step, MpReal(valueOf("1")), tolerance), frame);
        for (int axis = 0; axis < 2; ++axis) {
            QVERIFY2(within(spotOf(fixed[axis], b.*centres[axis], b.width),
                            spotOf(fixed[axis], start.*centres[axis], start.width), tolerance),
                     frame);
        }
    }
}

QTEST_APPLESS_MAIN(TestFilmPath)
#include "tst_filmpath.moc"
