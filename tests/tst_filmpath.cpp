#include "core/filmpath.h"
#include "core/squarepixels.h"

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

} // namespace

class TestFilmPath : public QObject
{
    Q_OBJECT

private slots:
    void properties_data();
    void properties();
    void refused_data();
    void refused();
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

QTEST_APPLESS_MAIN(TestFilmPath)
#include "tst_filmpath.moc"
