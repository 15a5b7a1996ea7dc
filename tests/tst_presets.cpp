#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "userinput.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

// The six example sections behind cbF1..cbF6.
class tst_Presets : public WindowTest
{
    Q_OBJECT

private slots:
    void preset_data();
    void preset();
    void sameResultTwice();
    void numbersFollowLocaleAtClick();

private:
    QStringList fieldTexts() const;
};

QStringList tst_Presets::fieldTexts() const
{
    const Controls &c = m_window->controls();
    return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text()};
}

void tst_Presets::preset_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("k");
    QTest::addColumn<QStringList>("fields");

    const QLocale comma(QLocale::German, QLocale::Germany);
    const QLocale point(QLocale::English, QLocale::UnitedStates);
    // Fixed texts keep their commas and zeros; numbers take the locale's
    // separator and lose trailing zeros; integers have none.
    QTest::newRow("1, comma") << comma << 1 << QStringList{"-2", "2", "-2", "2"};
    QTest::newRow("2, comma") << comma << 2 << QStringList{"-1,0", "-0,5", "0,0", "0,5"};
    QTest::newRow("3, comma") << comma << 3 << QStringList{"-0,70", "-0,60", "0,325", "0,425"};
    QTest::newRow("4, comma") << comma << 4 << QStringList{"-0,65", "-0,60", "0,375", "0,425"};
    QTest::newRow("5, comma") << comma << 5 << QStringList{"-1,4025", "-1,4020", "-0,00025", "0,00025"};
    QTest::newRow("6, comma") << comma << 6 << QStringList{"-1,4025", "-1,40225", "0,00025", "0,00050"};
    QTest::newRow("1, point") << point << 1 << QStringList{"-2", "2", "-2", "2"};
    QTest::newRow("2, point") << point << 2 << QStringList{"-1,0", "-0.5", "0,0", "0.5"};
    QTest::newRow("3, point") << point << 3 << QStringList{"-0,70", "-0,60", "0.325", "0.425"};
    QTest::newRow("4, point") << point << 4 << QStringList{"-0.65", "-0,60", "0.375", "0.425"};
    QTest::newRow("5, point") << point << 5 << QStringList{"-1.4025", "-1,4020", "-0.00025", "0.00025"};
    QTest::newRow("6, point") << point << 6 << QStringList{"-1.4025", "-1,40225", "0,00025", "0,00050"};
}

// Only the four section fields change: no message, no drawing, no clearing.
void tst_Presets::preset()
{
    QFETCH(QLocale, locale);
    QFETCH(int, k);
    QFETCH(QStringList, fields);
    QLocale::setDefault(locale);
    const Controls &c = m_window->controls();
    typeInto(c.txtMaxIter, QStringLiteral("123"));
    m_window->surface().setPoint({3000, 3000}, 0x000000FF);
    const QImage picture = m_window->picture();

    clickOn(c.cbF[size_t(k)]);

    QCOMPARE(fieldTexts(), fields);
    QCOMPARE(c.txtMaxIter->text(), QStringLiteral("123"));
    QCOMPARE(m_window->picture(), picture);
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_Presets::sameResultTwice()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const Controls &c = m_window->controls();
    clickOn(c.cbF[4]);
    const QStringList first = fieldTexts();
    typeInto(c.txtX1, QStringLiteral("7"));
    clickOn(c.cbF[4]);
    QCOMPARE(fieldTexts(), first);
}

// The separator is looked up at each click, not once at start.
void tst_Presets::numbersFollowLocaleAtClick()
{
    const Controls &c = m_window->controls();
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    clickOn(c.cbF[2]);
    QCOMPARE(c.txtX1->text(), QStringLiteral("-0,5"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    clickOn(c.cbF[2]);
    QCOMPARE(c.txtX1->text(), QStringLiteral("-0.5"));
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_Presets>(argc, argv);
}

#include "tst_presets.moc"
