#include "app/clickablelabel.h"
#include "form/backcolor.h"
#include "app/mainwindow.h"
#include "expectedpicture.h"
#include "fakeplatform.h"
#include "core/standardcolors.h"
#include "runsteps.h"
#include "userinput.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>

// The eight swatches, the colour dialog behind btF0..btF7 (answered by the
// fake platform) and the reset on lblStandardfarben.
class tst_Palette : public WindowTest
{
    Q_OBJECT

public:
    tst_Palette() : WindowTest(QLocale::c(), Events::EveryMillisecond) {}

private slots:
    void okSetsOwnSwatchOnly_data();
    void okSetsOwnSwatchOnly();
    void confirmedColourIsOpaque();
    void cancelKeepsSwatch();
    void dialogOpensAtLastConfirmed();
    void resetRestoresStandardColours_data();
    void resetRestoresStandardColours();
    void resetDuringRunKeepsRunColours();
    void changeDuringPause_data();
    void changeDuringPause();

private:
    QList<ColorRef> swatches() const;
};

namespace {

const QList<ColorRef> Standard(StandardColors.begin(), StandardColors.end());
const QColor Black(0, 0, 0);
const QColor Olive(128, 128, 0);
constexpr ColorRef OliveRef = 0x00008080;

// The swatch that colours most points of the start section, so that a
// change of it shows in any stretch of the picture.
int busiestSwatch(const std::vector<std::int16_t> &counts)
{
    std::array<int, PaletteSize> uses{};
    for (const std::int16_t count : counts)
        ++uses[size_t(swatchForCount(count))];
    return int(std::max_element(uses.begin(), uses.end()) - uses.begin());
}

} // namespace

QList<ColorRef> tst_Palette::swatches() const
{
    QList<ColorRef> colours;
    for (const QLabel *swatch : m_window->controls().lblF)
        colours.append(backColor(swatch));
    return colours;
}

void tst_Palette::okSetsOwnSwatchOnly_data()
{
    QTest::addColumn<int>("n");
    for (int n = 0; n < PaletteSize; ++n)
        QTest::addRow("btF%d", n) << n;
}

void tst_Palette::okSetsOwnSwatchOnly()
{
    QFETCH(int, n);
    m_platform->colorAnswer = QColor(0x12, 0x34, 0x56);
    clickOn(m_window->controls().btF[size_t(n)]);

    QList<ColorRef> expected = Standard;
    expected[n] = 0x00563412;
    QCOMPARE(swatches(), expected);
    QCOMPARE(m_platform->colorDialogInitials, QList<QColor>{Black});
}

// Whatever the dialog hands back, the swatch gets a plain RGB value.
void tst_Palette::confirmedColourIsOpaque()
{
    m_platform->colorAnswer = QColor(200, 100, 50, 60);
    const QLabel *swatch = m_window->controls().lblF[2];
    clickOn(m_window->controls().btF[2]);
    QCOMPARE(backColor(swatch), ColorRef(0x003264C8));
    QCOMPARE(swatch->palette().color(QPalette::Window).alpha(), 255);

    clickOn(m_window->controls().btF[3]);
    QCOMPARE(m_platform->colorDialogInitials.last(), QColor(200, 100, 50));
}

// Cancel before any OK, and Cancel after a confirmed colour for another
// swatch: the swatch keeps its own colour in both cases.
void tst_Palette::cancelKeepsSwatch()
{
    const Controls &c = m_window->controls();
    m_platform->colorAnswer = std::nullopt;
    clickOn(c.btF[3]);
    QCOMPARE(swatches(), Standard);

    m_platform->colorAnswer = QColor(255, 0, 0);
    clickOn(c.btF[2]);
    m_platform->colorAnswer = std::nullopt;
    clickOn(c.btF[5]);

    QList<ColorRef> expected = Standard;
    expected[2] = 0x000000FF;
    QCOMPARE(swatches(), expected);
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Palette::dialogOpensAtLastConfirmed()
{
    const Controls &c = m_window->controls();
    m_platform->colorAnswer = std::nullopt;
    clickOn(c.btF[0]); // black until the first OK
    m_platform->colorAnswer = QColor(0, 128, 255);
    clickOn(c.btF[1]);
    m_platform->colorAnswer = std::nullopt;
    clickOn(c.btF[4]); // a cancel forgets nothing
    m_platform->colorAnswer = QColor(9, 9, 9);
    clickOn(c.btF[7]);
    clickOn(c.btF[6]);

    QCOMPARE(m_platform->colorDialogInitials,
             (QList<QColor>{Black, Black, QColor(0, 128, 255), QColor(0, 128, 255), QColor(9, 9, 9)}));
}

void tst_Palette::resetRestoresStandardColours_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("click") << false;
    QTest::newRow("double-click") << true;
}

void tst_Palette::resetRestoresStandardColours()
{
    QFETCH(bool, doubleClick);
    const Controls &c = m_window->controls();
    m_platform->colorAnswer = QColor(1, 2, 3);
    for (const int n : {0, 3, 5, 7})
        clickOn(c.btF[size_t(n)]);
    QVERIFY(swatches() != Standard);

    // The reset is the label's click: a double-click resets once, through
    // its first click.
    QSignalSpy resets(c.lblStandardfarben, &ClickableLabel::clicked);
    if (doubleClick)
        doubleClickAt(c.lblStandardfarben, {5, 5});
    else
        clickOn(c.lblStandardfarben);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(swatches(), Standard);

    clickOn(c.lblStandardfarben);
    QCOMPARE(swatches(), Standard);
    QCOMPARE(m_platform->colorDialogInitials.size(), 4); // the label opens no dialog
}

// The reset recolours the swatches at once, but the picture in progress
// keeps the colours the run read at its start.
void tst_Palette::resetDuringRunKeepsRunColours()
{
    const Controls &c = m_window->controls();
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    const int n = busiestSwatch(counts);
    m_platform->colorAnswer = Olive;
    clickOn(c.btF[size_t(n)]);
    Palette runPalette = StandardColors;
    runPalette[size_t(n)] = OliveRef;
    QCOMPARE(swatches(), QList<ColorRef>(runPalette.begin(), runPalette.end()));

    qint64 drawnAtReset = 0;
    QList<ColorRef> swatchesAfterReset;
    QTimer::singleShot(0, m_window, [&] {
        drawnAtReset = m_window->state().pixelCount;
        clickOn(c.lblStandardfarben);
        swatchesAfterReset = swatches();
    });
    clickOn(c.cbStart);

    QVERIFY(drawnAtReset > 0 && drawnAtReset < RunPoints);
    QCOMPARE(swatchesAfterReset, Standard);
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QVERIFY(expectedPicture(counts, runPalette) != expectedPicture(counts));
    QCOMPARE(m_window->picture(), expectedPicture(counts, runPalette));
    QCOMPARE(swatches(), Standard);
}

void tst_Palette::changeDuringPause_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("colour chosen with btF") << false;
    QTest::newRow("reset on lblStandardfarben") << true;
}

// A continued run reads the swatches again: the columns still to come take
// the new colours, the columns drawn before keep the old ones.
void tst_Palette::changeDuringPause()
{
    QFETCH(bool, reset);
    const Controls &c = m_window->controls();
    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    const int n = busiestSwatch(counts);
    Palette olive = StandardColors;
    olive[size_t(n)] = OliveRef;
    const Palette before = reset ? olive : StandardColors;
    const Palette after = reset ? StandardColors : olive;
    m_platform->colorAnswer = Olive;
    if (reset)
        clickOn(c.btF[size_t(n)]);

    const qint64 paused = startAndPause(*m_window);
    QVERIFY(paused > 0 && paused < RunPoints);
    if (reset)
        clickOn(c.lblStandardfarben);
    else
        clickOn(c.btF[size_t(n)]);
    QCOMPARE(swatches(), QList<ColorRef>(after.begin(), after.end()));
    clickOn(c.btStop);

    const qint64 columnStart = pausedColumnStart(paused);
    QImage expected = blankPicture();
    paint(expected, counts, 0, paused, before);
    paint(expected, counts, columnStart, RunPoints, after);
    QVERIFY(expected != expectedPicture(counts, before));
    QVERIFY(expected != expectedPicture(counts, after));
    QCOMPARE(m_window->picture(), expected);
    QVERIFY(m_platform->messages.isEmpty());
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_Palette>(argc, argv);
}

#include "tst_palette.moc"
