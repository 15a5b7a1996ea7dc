#include "app/application.h"
#include "app/colorref.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "userinput.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

// The two clear buttons: cbFC removes the drawing, btC also the section
// and the pause state of the render run.
class tst_Clear : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clearFractalRemovesPointsOnly();
    void clearAllResetsSectionAndPause();
    void clearAllDuringSelection();
    void clearOnEmptySurface_data();
    void clearOnEmptySurface();

private:
    void arrangeBusyWindow();
    QStringList snapshot() const;
    QColor shownAt(QPoint pixel) const;

    FakePlatform *m_platform = nullptr;
    MainWindow *m_window = nullptr;
};

namespace {

constexpr ColorRef WindowBackground = 0x00FF80FF;
constexpr ColorRef Red = 0x000000FF;
constexpr int PointTwips = 3000;
const QPoint PointPixel(200, 200); // where (3000, 3000) twips shows

QString hex(ColorRef ref)
{
    return QStringLiteral("0x%1").arg(ref, 8, 16, QChar(u'0'));
}

} // namespace

void tst_Clear::init()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_platform = new FakePlatform;
    m_window = new MainWindow(*m_platform);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_Clear::cleanup()
{
    delete m_window;
    delete m_platform;
    QLocale::setDefault(QLocale::c());
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

// What a paused run, an edited palette and a begun zoom leave behind. The
// run's own captions and flags are set directly: this area only reads them.
void tst_Clear::arrangeBusyWindow()
{
    const Controls &c = m_window->controls();
    typeInto(c.txtMaxIter, QStringLiteral("250"));
    m_platform->colorAnswer = QColor(10, 20, 30);
    clickOn(c.btF[6]);
    doubleClickAt(m_window, {100, 200});
    doubleClickAt(m_window, {150, 220});

    FormState &state = m_window->state();
    state.stopRequested = true;
    state.resumeRequested = true;
    c.lblCounts->setText(QStringLiteral("1.234.567"));
    c.lblPixel->setText(QStringLiteral("12.345"));
    c.lblI->setText(QStringLiteral("1171"));
    c.lblJ->setText(QStringLiteral("2393"));
    c.lblBar->resize(40, c.lblBar->height());
    c.btStop->setText(QStringLiteral("Berechnung fortsetzen"));
    setBackColor(c.btStop, 0x008080FF);
    m_window->setPoint(PointTwips, PointTwips, Red);
    m_window->showPoints();
    QCOMPARE(shownAt(PointPixel), toQColor(Red));
}

// Everything a clear might touch, as "name=value" lines so that a failure
// shows which one differs.
QStringList tst_Clear::snapshot() const
{
    const Controls &c = m_window->controls();
    const FormState &state = m_window->state();
    QStringList lines;
    auto add = [&lines](const QString &name, const QString &value) {
        lines.append(name + QLatin1Char('=') + value);
    };
    for (const QLineEdit *field : {c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter})
        add(field->objectName(), field->text());
    for (const QLabel *label : {c.lblCounts, c.lblPixel, c.lblI, c.lblJ, c.lblVergroeßerungText,
                                c.lblXP0, c.lblYP0, c.lblXP1, c.lblYP1, c.lblXP2, c.lblYP2,
                                c.lblX0, c.lblX1, c.lblY0, c.lblY1})
        add(label->objectName(), label->text());
    add(QStringLiteral("lblBar.width"), QString::number(c.lblBar->width()));
    add(QStringLiteral("btStop"), c.btStop->text());
    add(QStringLiteral("btStop.BackColor"), hex(backColor(c.btStop)));
    for (const QLabel *swatch : c.lblF)
        add(swatch->objectName(), hex(backColor(swatch)));
    add(QStringLiteral("stopRequested"), QString::number(state.stopRequested));
    add(QStringLiteral("resumeRequested"), QString::number(state.resumeRequested));
    add(QStringLiteral("zoomOriginSet"), QString::number(state.zoomOriginSet));
    add(QStringLiteral("zoomCornerSet"), QString::number(state.zoomCornerSet));
    return lines;
}

// The window as the screen shows it, in logical pixels.
QColor tst_Clear::shownAt(QPoint pixel) const
{
    return m_window->grab().toImage().pixelColor(pixel);
}

void tst_Clear::clearFractalRemovesPointsOnly()
{
    arrangeBusyWindow();
    const QStringList before = snapshot();

    clickOn(m_window->controls().cbFC);

    QCOMPARE(shownAt(PointPixel), toQColor(WindowBackground));
    QCOMPARE(snapshot(), before);
}

void tst_Clear::clearAllResetsSectionAndPause()
{
    arrangeBusyWindow();
    QStringList expected = snapshot();
    auto replace = [&expected](const QString &name, const QString &value) {
        for (QString &line : expected) {
            if (line.startsWith(name + QLatin1Char('=')))
                line = name + QLatin1Char('=') + value;
        }
    };
    for (const char *field : {"txtX0", "txtX1", "txtY0", "txtY1", "lblCounts"})
        replace(QString::fromLatin1(field), QString());
    replace(QStringLiteral("lblI"), QStringLiteral("1"));
    replace(QStringLiteral("btStop"), QStringLiteral("Berechnung anhalten"));
    replace(QStringLiteral("btStop.BackColor"), hex(0x0080FF80));
    replace(QStringLiteral("stopRequested"), QStringLiteral("0"));
    replace(QStringLiteral("resumeRequested"), QStringLiteral("0"));

    clickOn(m_window->controls().btC);

    QCOMPARE(shownAt(PointPixel), toQColor(WindowBackground));
    QCOMPARE(snapshot(), expected);
}

// The zoom state survives btC; the selection goes on with the next section
// loaded into the emptied fields.
void tst_Clear::clearAllDuringSelection()
{
    const Controls &c = m_window->controls();
    doubleClickAt(m_window, {100, 200});
    clickOn(c.btC);
    clickOn(c.cbF[6]);
    doubleClickAt(m_window, {200, 300});
    doubleClickAt(m_window, {300, 999});

    QCOMPARE((QStringList{c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text()}),
             (QStringList{"-1,4024375", "-1,402375", "0,0003125", "0,000375"}));
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Clear::clearOnEmptySurface_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("cbFC") << "cbFC";
    QTest::newRow("btC") << "btC";
}

void tst_Clear::clearOnEmptySurface()
{
    QFETCH(QString, button);
    const QImage before = m_window->grab().toImage();
    const QRect surface(96, 4, 400, 400);
    clickOn(m_window->findChild<QPushButton *>(button));
    QCOMPARE(m_window->grab().toImage().copy(surface), before.copy(surface));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    tst_Clear test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clear.moc"
