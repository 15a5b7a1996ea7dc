#include "app/mainwindow.h"
#include "expectedpicture.h"
#include "fakeplatform.h"
#include "form/inputmessage.h"
#include "core/numbertext.h"
#include "userinput.h"
#include "windowfixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <numeric>

// What a user sees for each bad input of the README's table: the message
// box or a defined picture, the texts typed kept, never a crash.
class tst_BadInput : public WindowTest
{
    Q_OBJECT

public:
    tst_BadInput() : WindowTest(QLocale(QLocale::German, QLocale::Germany)) {}

private slots:
    void startRefusesText_data();
    void startRefusesText();
    void startDrawsDefinedPicture_data();
    void startDrawsDefinedPicture();
    void startFailsWhereTheGridOverflows_data();
    void startFailsWhereTheGridOverflows();
    void zoomRefusesField_data();
    void zoomRefusesField();

private:
    QLineEdit *field(const QString &name) const { return m_window->findChild<QLineEdit *>(name); }
    QStringList fieldTexts() const;
};

Q_DECLARE_METATYPE(RunSection)

namespace {

const QLocale German(QLocale::German, QLocale::Germany);
const QString Message = InputMessageTitle + QLatin1Char('|') + InputMessageText;
const QString TenThousandLetters(10000, u'x');
const QString TenThousandDigits = QLatin1Char('1') + QString(9999, u'0');
const QString TenThousandCharThird = QStringLiteral("0,") + QString(9998, u'3');
const QStringList FieldNames{"txtX0", "txtX1", "txtY0", "txtY1", "txtMaxIter"};

// Typed as a user types; a long text pasted, as a user brings it in.
void enter(QLineEdit *field, const QString &text)
{
    if (text.size() <= 100) {
        typeInto(field, text);
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    clickOn(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

QStringList tst_BadInput::fieldTexts() const
{
    QStringList texts;
    for (const QString &name : FieldNames)
        texts.append(field(name)->text());
    return texts;
}

void tst_BadInput::startRefusesText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("X0 empty") << "txtX0" << "";
    QTest::newRow("X1 letters") << "txtX1" << "abc";
    QTest::newRow("Y0 two separators") << "txtY0" << "1,2,3";
    QTest::newRow("Y1 comma and full stop") << "txtY1" << "1,2.3";
    QTest::newRow("X0 huge exponent") << "txtX0" << "1E999";
    QTest::newRow("X1 huge negative") << "txtX1" << "-1E400";
    QTest::newRow("Y0 nan") << "txtY0" << "nan";
    QTest::newRow("Y1 inf") << "txtY1" << "inf";
    QTest::newRow("X0 -Infinity") << "txtX0" << "-Infinity";
    QTest::newRow("X1 10,000 letters") << "txtX1" << TenThousandLetters;
    QTest::newRow("Y0 10,000 digits, beyond range") << "txtY0" << TenThousandDigits;
    QTest::newRow("Imax empty") << "txtMaxIter" << "";
    QTest::newRow("Imax letters") << "txtMaxIter" << "abc";
    QTest::newRow("Imax 40000") << "txtMaxIter" << "40000";
    QTest::newRow("Imax -32769") << "txtMaxIter" << "-32769";
    QTest::newRow("Imax 32767,5 rounds out of range") << "txtMaxIter" << "32767,5";
    QTest::newRow("Imax nan") << "txtMaxIter" << "nan";
    QTest::newRow("Imax 1E999") << "txtMaxIter" << "1E999";
    QTest::newRow("Imax 10,000 digits") << "txtMaxIter" << TenThousandDigits;
}

// The message box, nothing drawn and nothing lost: the typed text stays,
// the picture stays, the controls come back.
void tst_BadInput::startRefusesText()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    const Controls &c = m_window->controls();
    enter(field(name), text);
    QCOMPARE(field(name)->text(), text);
    const QStringList typed = fieldTexts();
    m_window->surface().setPoint({3000, 3000}, 0x000000FF);
    const QImage before = m_window->picture();

    clickOn(c.cbStart);

    QCOMPARE(m_platform->messages, QStringList{Message});
    QCOMPARE(fieldTexts(), typed);
    QCOMPARE(m_window->picture(), before);
    QCOMPARE(c.lblPixel->text(), QString());
    QCOMPARE(c.lblCounts->text(), QStringLiteral("0"));
    QCOMPARE(c.lblI->text(), QStringLiteral("1"));
    QCOMPARE(c.btStop->text(), QStringLiteral("Berechnung anhalten"));
    for (QPushButton *button : {c.cbStart, c.btC, c.cbFC, c.cbF[1], c.btF[0], c.btF[7]})
        QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
}

void tst_BadInput::startDrawsDefinedPicture_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<RunSection>("section");

    QTest::newRow("tiny exponent reads as 0")
        << QStringList{"-2", "2", "-2", "1E-999", "20"} << RunSection{-2, 2, -2, 0, 20};
    QTest::newRow("equal corners: one colour")
        << QStringList{"0,25", "0,25", "0,5", "0,5", "20"} << RunSection{0.25, 0.25, 0.5, 0.5, 20};
    QTest::newRow("reversed corners: mirrored")
        << QStringList{"2", "-2", "2", "-2", "20"} << RunSection{2, -2, 2, -2, 20};
    QTest::newRow("10,000-character number")
        << QStringList{"-2", TenThousandCharThird, "-2", "2", "20"} << RunSection{-2, 1.0 / 3, -2, 2, 20};
    QTest::newRow("Imax -32768: all F7")
        << QStringList{"-2", "2", "-2", "2", "-32768"} << RunSection{-2, 2, -2, 2, -32768};
    QTest::newRow("Imax 2,5 rounds to even 2")
        << QStringList{"-2", "2", "-2", "2", "2,5"} << RunSection{-2, 2, -2, 2, 2};
}

void tst_BadInput::startDrawsDefinedPicture()
{
    QFETCH(QStringList, texts);
    QFETCH(RunSection, section);
    for (qsizetype n = 0; n < FieldNames.size(); ++n)
        enter(field(FieldNames[n]), texts[n]);

    clickOn(m_window->controls().cbStart);

    const std::vector<std::int16_t> counts = kernelCounts(section);
    const std::int64_t total = std::accumulate(counts.begin(), counts.end(), std::int64_t(0));
    QVERIFY(m_platform->messages.isEmpty());
    QCOMPARE(m_window->controls().lblPixel->text(), QStringLiteral("213.444"));
    QCOMPARE(m_window->controls().lblCounts->text(), NumberText::grouped(total, u"."));
    QCOMPARE(m_window->picture(), expectedPicture(counts));
    QCOMPARE(fieldTexts(), texts);
}

// The mapping of the grid to the plane leaves the double range at some
// point: the run fails there, with the points before it drawn and counted.
void tst_BadInput::startFailsWhereTheGridOverflows_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<RunSection>("section");
    QTest::addColumn<int>("pointsDrawn");

    QTest::newRow("spans beyond the range: nothing drawn")
        << QStringList{"-1E308", "1E308", "-1E308", "1E308", "20"}
        << RunSection{-1e308, 1e308, -1e308, 1e308, 20} << 0;
    QTest::newRow("X1 1E305: column 1808 overflows, 139 columns drawn")
        << QStringList{"0", "1E305", "0", "1", "20"} << RunSection{0, 1e305, 0, 1, 20}
        << 139 * GridPoints;
    QTest::newRow("Y1 1E305: row 1808 overflows in the first column")
        << QStringList{"0", "1", "0", "1E305", "20"} << RunSection{0, 1, 0, 1e305, 20} << 139;
}

void tst_BadInput::startFailsWhereTheGridOverflows()
{
    QFETCH(QStringList, texts);
    QFETCH(RunSection, section);
    QFETCH(int, pointsDrawn);
    for (qsizetype n = 0; n < FieldNames.size(); ++n)
        enter(field(FieldNames[n]), texts[n]);

    clickOn(m_window->controls().cbStart);

    const std::vector<std::int16_t> counts = kernelCounts(section);
    QCOMPARE(m_platform->messages, QStringList{Message});
    QCOMPARE(m_window->controls().lblPixel->text(), NumberText::grouped(pointsDrawn, u"."));
    QCOMPARE(m_window->controls().lblCounts->text(),
             NumberText::grouped(countsTotal(counts, 0, pointsDrawn), u"."));
    QImage expected = blankPicture();
    paint(expected, counts, 0, pointsDrawn);
    QCOMPARE(m_window->picture(), expected);
    QVERIFY(m_window->controls().cbStart->isEnabled());
}

void tst_BadInput::zoomRefusesField_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("X0 nan") << "txtX0" << "nan";
    QTest::newRow("X1 inf") << "txtX1" << "inf";
    QTest::newRow("Y0 huge exponent") << "txtY0" << "1E999";
    QTest::newRow("Y1 10,000 letters") << "txtY1" << TenThousandLetters;
}

// The third double-click ends the selection with the message box; the
// fields keep what the user typed.
void tst_BadInput::zoomRefusesField()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    enter(field(name), text);
    const QStringList typed = fieldTexts();

    doubleClickAt(m_window, {100, 200});
    doubleClickAt(m_window, {200, 300});
    doubleClickAt(m_window, {300, 400});

    QCOMPARE(m_platform->messages, QStringList{Message});
    QCOMPARE(fieldTexts(), typed);
    QVERIFY(!m_window->state().zoomOriginSet);
    QVERIFY(!m_window->state().zoomCornerSet);
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_BadInput>(argc, argv);
}

#include "tst_badinput.moc"
