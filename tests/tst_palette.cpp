#include "app/application.h"
#include "app/clickablelabel.h"
#include "app/colorref.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "palette/standardcolors.h"
#include "userinput.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

// The eight swatches, the colour dialog behind btF0..btF7 (answered by the
// fake platform) and the reset on lblStandardfarben.
class tst_Palette : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void okSetsOwnSwatchOnly_data();
    void okSetsOwnSwatchOnly();
    void confirmedColourIsOpaque();
    void cancelKeepsSwatch();
    void dialogOpensAtLastConfirmed();
    void resetRestoresStandardColours_data();
    void resetRestoresStandardColours();

private:
    QList<ColorRef> swatches() const;

    FakePlatform *m_platform = nullptr;
    MainWindow *m_window = nullptr;
};

namespace {

const QList<ColorRef> Standard(StandardColors.begin(), StandardColors.end());
const QColor Black(0, 0, 0);

} // namespace

void tst_Palette::init()
{
    m_platform = new FakePlatform;
    m_window = new MainWindow(*m_platform);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_Palette::cleanup()
{
    delete m_window;
    delete m_platform;
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

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

    if (doubleClick)
        doubleClickAt(c.lblStandardfarben, {5, 5});
    else
        clickOn(c.lblStandardfarben);
    QCOMPARE(swatches(), Standard);

    clickOn(c.lblStandardfarben);
    QCOMPARE(swatches(), Standard);
    QCOMPARE(m_platform->colorDialogInitials.size(), 4); // the label opens no dialog
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    tst_Palette test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_palette.moc"
