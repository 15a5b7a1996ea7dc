#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "runsteps.h"
#include "form/inputmessage.h"
#include "core/zoomarithmetic.h"
#include "userinput.h"
#include "windowsnapshot.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QTimer>

#include <functional>
#include <numeric>

// The new section picked by three double-clicks on the window.
class tst_Zoom : public WindowTest
{
    Q_OBJECT

public:
    tst_Zoom() : WindowTest(QLocale(QLocale::German, QLocale::Germany), Events::EveryMillisecond) {}

private slots:
    void arithmeticOrder_data();
    void arithmeticOrder();
    void zoom_data();
    void zoom();
    void instructionFollowsState();
    void firstDoubleClickEmptiesLaterPositions();
    void fieldNotANumber_data();
    void fieldNotANumber();
    void overflow_data();
    void overflow();
    void zoomWhileDrawing();
    void zoomWhilePaused();

private:
    QStringList fieldTexts() const;
    void zoomBy(QPoint origin, QPoint upperLeft, QPoint lowerRight);
};

namespace {

const QString IdleCaption = QStringLiteral(
    "Zur Ausschnitts- vergrößerung die linke obere Ecke der Zeichenfläche doppelklicken.");
const QString OriginTakenCaption =
    QStringLiteral("Jetzt die linke obere Ecke des gewuenschten Ausschnitts doppelklicken.");
const QString CornerTakenCaption =
    QStringLiteral("Jetzt die rechte untere Ecke des gewuenschten Ausschnitts doppelklicken.");
const QString InputMessage = InputMessageTitle + QLatin1Char('|') + InputMessageText;
const QStringList DefaultFields{"-1,4025", "-1,4020", "0,0000", "0,0005"};

// The example selection from the start section, and what it yields.
const QPoint ExampleOrigin(100, 200);
const QPoint ExampleUpperLeft(200, 300);
const QPoint ExampleLowerRight(300, 999);
const QStringList ExampleFields{"-1,402375", "-1,40225", "0,000125", "0,00025"};
constexpr RunSection ExampleSection{-1.402375, -1.40225, 0.000125, 0.00025, 300};

} // namespace

QStringList tst_Zoom::fieldTexts() const
{
    const Controls &c = m_window->controls();
    return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text()};
}

void tst_Zoom::zoomBy(QPoint origin, QPoint upperLeft, QPoint lowerRight)
{
    doubleClickAt(m_window, origin);
    doubleClickAt(m_window, upperLeft);
    doubleClickAt(m_window, lowerRight);
}

// Rows where another order of the same operations gives another double.
void tst_Zoom::arithmeticOrder_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("pixel");
    QTest::addColumn<double>("origin");
    QTest::addColumn<double>("expected");

    QTest::newRow("span 0.0005, 390 left") << 0.0 << 0.0005 << 10.0 << 400.0 << -0.0004875;
    QTest::newRow("span 0.1, 391 left") << 0.325 << 0.425 << 9.0 << 400.0 << 0.22725000000000004;
    QTest::newRow("span 0.6, 399 left") << 0.1 << 0.7 << 1.0 << 400.0 << -0.49850000000000005;
    QTest::newRow("example X0") << -1.4025 << -1.402 << 200.0 << 100.0 << -1.4023750000000001;
}

void tst_Zoom::arithmeticOrder()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(double, pixel);
    QFETCH(double, origin);
    QFETCH(double, expected);
    const double result = ZoomArithmetic::sectionCoordinate(lower, upper, pixel, origin);
    QVERIFY2(result == expected, qPrintable(QString::number(result, 'g', 17)));
}

void tst_Zoom::zoom_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QPoint>("origin");
    QTest::addColumn<QPoint>("upperLeft");
    QTest::addColumn<QPoint>("lowerRight");
    QTest::addColumn<QString>("yp2");
    QTest::addColumn<QStringList>("fields");

    const QLocale comma(QLocale::German, QLocale::Germany);
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("example") << comma << QPoint(100, 200) << QPoint(200, 300) << QPoint(300, 999)
                             << "400" << QStringList{"-1,402375", "-1,40225", "0,000125", "0,00025"};
    QTest::newRow("y of the third unused") << comma << QPoint(100, 200) << QPoint(200, 300)
                                           << QPoint(300, 250) << "400"
                                           << QStringList{"-1,402375", "-1,40225", "0,000125", "0,00025"};
    QTest::newRow("example, point locale")
        << point << QPoint(100, 200) << QPoint(200, 300) << QPoint(300, 999) << "400"
        << QStringList{"-1.402375", "-1.40225", "0.000125", "0.00025"};
    QTest::newRow("whole surface") << comma << QPoint(96, 4) << QPoint(96, 4) << QPoint(496, 30)
                                   << "404" << QStringList{"-1,4025", "-1,402", "0", "0,0005"};
    QTest::newRow("same spot") << comma << QPoint(250, 150) << QPoint(250, 150) << QPoint(250, 150)
                               << "150" << QStringList{"-1,4025", "-1,4025", "0", "0"};
    QTest::newRow("lower right left of upper left")
        << comma << QPoint(100, 200) << QPoint(300, 300) << QPoint(200, 50) << "200"
        << QStringList{"-1,40225", "-1,402375", "0,000125", "0"};
}

void tst_Zoom::zoom()
{
    QFETCH(QLocale, locale);
    QFETCH(QPoint, origin);
    QFETCH(QPoint, upperLeft);
    QFETCH(QPoint, lowerRight);
    QFETCH(QString, yp2);
    QFETCH(QStringList, fields);
    QLocale::setDefault(locale);
    const Controls &c = m_window->controls();
    m_window->surface().setPoint({3000, 3000}, 0x000000FF);
    const QImage before = m_window->picture();
    // The instruction each field change finds: the third double-click writes
    // the four fields first, then the Idle caption.
    QStringList instructionAtFieldChange;
    QObject recorder;
    for (QLineEdit *field : {c.txtX0, c.txtX1, c.txtY0, c.txtY1})
        connect(field, &QLineEdit::textChanged, &recorder, [&] {
            instructionAtFieldChange.append(c.lblVergroeßerungText->text());
        });
    const QStringList fieldsBefore = fieldTexts();
    const qsizetype fieldsChanged = std::inner_product(fields.begin(), fields.end(),
                                                       fieldsBefore.begin(), qsizetype(0),
                                                       std::plus<>(), std::not_equal_to<>());

    zoomBy(origin, upperLeft, lowerRight);

    QCOMPARE(fieldTexts(), fields);
    QCOMPARE((QStringList{c.lblX0->text(), c.lblX1->text(), c.lblY0->text(), c.lblY1->text()}), fields);
    QCOMPARE(c.lblXP2->text(), QString::number(lowerRight.x()));
    QCOMPARE(c.lblYP2->text(), yp2);
    QCOMPARE(c.lblVergroeßerungText->text(), IdleCaption);
    QVERIFY(fieldsChanged > 0);
    QCOMPARE(instructionAtFieldChange, QStringList(fieldsChanged, CornerTakenCaption));
    QVERIFY(!m_window->state().zoomOriginSet);
    QVERIFY(!m_window->state().zoomCornerSet);
    QCOMPARE(c.txtMaxIter->text(), QStringLiteral("300"));
    QCOMPARE(m_window->picture(), before); // nothing drawn, nothing cleared
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Zoom::instructionFollowsState()
{
    const Controls &c = m_window->controls();
    const FormState &state = m_window->state();
    QCOMPARE(c.lblVergroeßerungText->text(), IdleCaption);

    doubleClickAt(m_window, {100, 200});
    QCOMPARE(c.lblVergroeßerungText->text(), OriginTakenCaption);
    QVERIFY(state.zoomOriginSet && !state.zoomCornerSet);
    QCOMPARE(c.lblXP0->text(), QStringLiteral("100"));
    QCOMPARE(c.lblYP0->text(), QStringLiteral("200"));
    QCOMPARE(fieldTexts(), DefaultFields);

    doubleClickAt(m_window, {200, 300});
    QCOMPARE(c.lblVergroeßerungText->text(), CornerTakenCaption);
    QVERIFY(state.zoomOriginSet && state.zoomCornerSet);
    QCOMPARE(c.lblXP1->text(), QStringLiteral("200"));
    QCOMPARE(c.lblYP1->text(), QStringLiteral("300"));
    QCOMPARE(fieldTexts(), DefaultFields);

    doubleClickAt(m_window, {300, 999});
    QCOMPARE(c.lblVergroeßerungText->text(), IdleCaption);
    QVERIFY(!state.zoomOriginSet && !state.zoomCornerSet);
}

void tst_Zoom::firstDoubleClickEmptiesLaterPositions()
{
    const Controls &c = m_window->controls();
    zoomBy({100, 200}, {200, 300}, {300, 999});
    QCOMPARE(c.lblYP2->text(), QStringLiteral("400"));

    doubleClickAt(m_window, {150, 120});

    QCOMPARE(c.lblXP0->text(), QStringLiteral("150"));
    QCOMPARE(c.lblYP0->text(), QStringLiteral("120"));
    for (const QLabel *label : {c.lblXP1, c.lblYP1, c.lblXP2, c.lblYP2})
        QVERIFY2(label->text().isEmpty(), qPrintable(label->objectName()));
}

void tst_Zoom::fieldNotANumber_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");

    QTest::newRow("X0 empty") << 0 << "";
    QTest::newRow("X1 letters") << 1 << "abc";
    QTest::newRow("Y0 two separators") << 2 << "1,2,3";
    QTest::newRow("Y1 empty") << 3 << "";
}

// The selection ends all the same; the fields keep what the user typed.
void tst_Zoom::fieldNotANumber()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    const Controls &c = m_window->controls();
    const std::array<QLineEdit *, 4> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1};
    doubleClickAt(m_window, {100, 200});
    doubleClickAt(m_window, {200, 300});
    typeInto(fields[size_t(field)], text);
    const QStringList typed = fieldTexts();

    doubleClickAt(m_window, {300, 400});

    QCOMPARE(m_platform->messages, QStringList{InputMessage});
    QCOMPARE(fieldTexts(), typed);
    QVERIFY(!m_window->state().zoomOriginSet);
    QVERIFY(!m_window->state().zoomCornerSet);
    QCOMPARE(c.lblVergroeßerungText->text(), IdleCaption);

    doubleClickAt(m_window, {120, 130}); // a new selection begins
    QCOMPARE(c.lblVergroeßerungText->text(), OriginTakenCaption);
    QCOMPARE(c.lblXP0->text(), QStringLiteral("120"));
}

void tst_Zoom::overflow_data()
{
    QTest::addColumn<QStringList>("section");
    QTest::addColumn<QPoint>("lowerRight");

    QTest::newRow("X span beyond range")
        << QStringList{"-1,7E308", "1,7E308", "0", "1"} << QPoint(300, 400);
    QTest::newRow("Y span beyond range")
        << QStringList{"0", "1", "-1E308", "1E308"} << QPoint(300, 400);
    QTest::newRow("X product beyond range")
        << QStringList{"0", "1,5E308", "0", "1"} << QPoint(800, 400);
}

void tst_Zoom::overflow()
{
    QFETCH(QStringList, section);
    QFETCH(QPoint, lowerRight);
    const Controls &c = m_window->controls();
    const std::array<QLineEdit *, 4> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1};
    for (size_t i = 0; i < fields.size(); ++i)
        typeInto(fields[i], section[qsizetype(i)]);

    zoomBy({10, 10}, {100, 200}, lowerRight);

    QCOMPARE(m_platform->messages, QStringList{InputMessage});
    QCOMPARE(fieldTexts(), section);
    QVERIFY(!m_window->state().zoomOriginSet);
    QVERIFY(!m_window->state().zoomCornerSet);
    QCOMPARE(c.lblVergroeßerungText->text(), IdleCaption);
}

// A selection made while the run lets events run changes the fields and
// the zoom's labels and nothing else; the run draws on with the section it
// read at its start.
void tst_Zoom::zoomWhileDrawing()
{
    qint64 drawnAtZoom = 0;
    QStringList changed;
    bool pictureKept = false;
    qint64 drawnAfterZoom = 0;
    QStringList fieldsAfterZoom;
    QTimer::singleShot(0, m_window, [&] {
        drawnAtZoom = m_window->state().pixelCount;
        const QStringList before = windowSnapshot(*m_window);
        const QImage picture = m_window->picture();
        zoomBy(ExampleOrigin, ExampleUpperLeft, ExampleLowerRight);
        changed = changedNames(before, windowSnapshot(*m_window));
        pictureKept = m_window->picture() == picture;
        drawnAfterZoom = m_window->state().pixelCount;
        fieldsAfterZoom = fieldTexts();
    });
    clickOn(m_window->controls().cbStart);

    QVERIFY(drawnAtZoom > 0 && drawnAtZoom < RunPoints);
    QCOMPARE(changed, (QStringList{"txtX0", "txtX1", "txtY0", "txtY1", "lblXP0", "lblYP0", "lblXP1",
                                   "lblYP1", "lblXP2", "lblYP2", "lblX0", "lblX1", "lblY0", "lblY1"}));
    QVERIFY(pictureKept);
    QCOMPARE(drawnAfterZoom, drawnAtZoom);
    QCOMPARE(fieldsAfterZoom, ExampleFields);

    const std::vector<std::int16_t> counts = kernelCounts(StartSection);
    QCOMPARE(m_window->state().pixelCount, RunPoints);
    QCOMPARE(m_window->controls().lblCounts->text(), grouped(countsTotal(counts, 0, RunPoints)));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
    QCOMPARE(fieldTexts(), ExampleFields);
    QVERIFY(m_platform->messages.isEmpty());
}

// Continuing reads the fields again: the columns still to come show the new
// section, the columns drawn before the pause stay as they were.
void tst_Zoom::zoomWhilePaused()
{
    const Controls &c = m_window->controls();
    const qint64 paused = startAndPause(*m_window);
    QVERIFY(paused > 0 && paused < RunPoints);
    const QImage pausedPicture = m_window->picture();

    zoomBy(ExampleOrigin, ExampleUpperLeft, ExampleLowerRight);
    QCOMPARE(fieldTexts(), ExampleFields);
    QCOMPARE(m_window->picture(), pausedPicture);
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung fortsetzen"));

    clickOn(c.btStop);

    const std::vector<std::int16_t> before = kernelCounts(StartSection);
    const std::vector<std::int16_t> after = kernelCounts(ExampleSection);
    const qint64 columnStart = pausedColumnStart(paused);
    QImage expected = blankPicture();
    paint(expected, before, 0, paused);
    paint(expected, after, columnStart, RunPoints);
    QVERIFY(expected != expectedPicture(before));
    QCOMPARE(m_window->picture(), expected);
    QCOMPARE(c.lblCounts->text(),
             grouped(countsTotal(before, 0, paused) + countsTotal(after, columnStart, RunPoints)));
    QCOMPARE(m_window->state().pixelCount, paused + RunPoints - columnStart);
    QVERIFY(m_platform->messages.isEmpty());
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_Zoom>(argc, argv);
}

#include "tst_zoom.moc"
