#include "form/backcolor.h"
#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "windowfixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

// The window at start, checked against its design as a user would see it.
class tst_Window : public WindowTest
{
    Q_OBJECT

private slots:
    void control_data();
    void control();
    void hiddenControls_data();
    void hiddenControls();
    void frameLines_data();
    void frameLines();
    void windowAtStart();
    void tabOrder();
    void focusAtStart();
    void noAccessKeys();
    void pointSurvivesSystemRepaint();
    void refreshClearsPoints();
    void pointLandsOnFloorOfTwips();
    void doubleClickOnBackgroundOnly();
    void closeClearsFormAlive();
    void iconIsMandelbrotPicture();
    void captionsFitTheirLabels();
};

namespace {

enum Face { Transparent, System, Filled };
const bool Bold = true;
const bool Plain = false;
const QString FieldHint =
    QStringLiteral("Zahlen zwischen -5 und +5 machen Sinn. Dezimaltrenner muß ein Komma sein.");

QColor rgb(ColorRef ref)
{
    return toQColor(ref);
}

QColor pixelAt(const QImage &image, QPoint p)
{
    return image.pixelColor(p);
}

} // namespace

void tst_Window::control_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("arialBold");
    QTest::addColumn<int>("look");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("alignment");

    auto row = [](const char *name, QRect twips, const QString &caption, const QString &hint,
                  bool bold, Face look, ColorRef color = 0, Qt::Alignment align = Qt::AlignLeft) {
        QTest::newRow(name) << QString::fromUtf8(name) << twips << caption << hint << bold
                            << int(look) << int(color) << int(align & Qt::AlignHorizontal_Mask);
    };
    row("Label1", {7560, 120, 495, 255}, "X0 =", "", Bold, Transparent);
    row("txtX0", {7980, 120, 2235, 285}, "-1,4025", FieldHint, Bold, System);
    row("Label2", {7560, 420, 495, 255}, "X1=", "", Bold, Transparent);
    row("txtX1", {7980, 420, 2235, 360}, "-1,4020", FieldHint, Bold, System);
    row("Label3", {7560, 720, 495, 255}, "Y0 =", "", Bold, Transparent);
    row("txtY0", {7980, 720, 2235, 360}, "0,0000", FieldHint, Bold, System);
    row("Label4", {7560, 1020, 495, 255}, "Y1 =", "", Bold, Transparent);
    row("txtY1", {7980, 1020, 2235, 360}, "0,0005", FieldHint, Bold, System);
    row("Label5", {7560, 1380, 735, 255}, "Imax =", "", Bold, Transparent);
    row("txtMaxIter", {8280, 1380, 555, 360}, "300", "Maximal werden 400 Iterationen dargestellt.", Bold, System);
    row("btC", {7980, 1800, 855, 315}, "C", "Löscht alles", Bold, Filled, 0x000000FF);
    row("cbStart", {9360, 1800, 795, 315}, "Start", "Startet die Berechnung neu", Bold, Filled, 0x0000FF00);
    row("btStop", {7980, 2160, 2175, 315}, "Berechnung anhalten", "", Plain, System);
    row("cbFC", {7980, 2520, 2175, 315}, "Nur Fraktal löschen", "", Plain, Filled, 0x008080FF);
    for (int k = 1; k <= 6; ++k) {
        const QByteArray name = "cbF" + QByteArray::number(k);
        row(name.constData(), {7980, 2880 + 300 * (k - 1), 2175, 255},
            QStringLiteral("Fraktal%1 laden").arg(k),
            QStringLiteral("Beispiel %1 - Fraktal berechnen").arg(k), Plain, System);
    }
    row("lblStandardfarben", {8160, 4680, 2055, 195}, "Farben neu zuordnen",
        "Doppelklick setzt auf Standardfarben zurück", Plain, Transparent, 0, Qt::AlignHCenter);
    const ColorRef swatch[8] = {0x000000FF, 0x0000FFFF, 0x0000FF00, 0x00FF0000,
                                0x00FF00FF, 0x00C0C000, 0x000040C0, 0x00000000};
    for (int n = 0; n < 8; ++n) {
        const int left = n < 4 ? 7980 : 9180;
        const int top = 4920 + 300 * (n % 4);
        const QByteArray label = "lblF" + QByteArray::number(n);
        const QByteArray button = "btF" + QByteArray::number(n);
        row(label.constData(), {left, top, 495, 255}, "", "", Plain, Filled, swatch[n]);
        row(button.constData(), {left + 540, top, 435, 255}, QStringLiteral("F%1").arg(n), "", Plain, System);
    }
    row("lblVergroeßerungText", {60, 360, 1395, 1215},
        "Zur Ausschnitts- vergrößerung die linke obere Ecke der Zeichenfläche doppelklicken.", "",
        Plain, Transparent);
    row("Label9", {60, 3180, 1095, 195}, "Bildpunkte:", "", Plain, Transparent);
    row("lblPixel", {60, 3420, 1275, 255}, "", "", Plain, Transparent, 0, Qt::AlignRight);
    row("Label15", {60, 3720, 1335, 135}, "", "", Plain, Filled, SystemWindowBackground);
    row("Label7", {60, 3960, 1095, 195}, "Berechnungen:", "", Plain, Transparent);
    row("lblCounts", {60, 4200, 1275, 255}, "", "", Plain, Transparent, 0, Qt::AlignRight);
}

void tst_Window::control()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    QFETCH(bool, arialBold);
    QFETCH(int, look);
    QFETCH(int, color);
    QFETCH(int, alignment);

    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QCOMPARE(widget->toolTip(), hint);

    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), caption);
        QCOMPARE(int(label->alignment() & Qt::AlignHorizontal_Mask), alignment);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    } else if (auto *field = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(field->text(), caption);
    } else {
        auto *button = qobject_cast<QPushButton *>(widget);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
    }

    const QFont font = widget->font();
    if (arialBold) {
        QCOMPARE(font.family(), QStringLiteral("Arial"));
        QCOMPARE(font.pointSizeF(), 9.75);
        QCOMPARE(font.weight(), QFont::Bold);
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    } else {
        QCOMPARE(font.weight(), QFont::Normal);
    }

    switch (look) {
    case Transparent:
        QVERIFY(!widget->autoFillBackground());
        break;
    case Filled:
        if (qobject_cast<QPushButton *>(widget)) {
            QCOMPARE(widget->palette().color(QPalette::Button), rgb(ColorRef(color)));
        } else {
            auto *label = qobject_cast<QLabel *>(widget);
            QVERIFY(label->autoFillBackground());
            QCOMPARE(label->palette().color(QPalette::Window), rgb(ColorRef(color)));
            QCOMPARE(label->frameShape(), QFrame::Box);
            QCOMPARE(label->frameShadow(), QFrame::Plain);
            QCOMPARE(label->lineWidth(), 1);
        }
        break;
    case System:
        QCOMPARE(widget->palette().color(QPalette::Button), QApplication::palette().color(QPalette::Button));
        break;
    }
}

void tst_Window::hiddenControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    for (const char *name : {"lblXP0", "lblYP0", "lblXP1", "lblYP1", "lblXP2", "lblYP2",
                             "lblX0", "lblX1", "lblY0", "lblY1"})
        QTest::newRow(name) << QString::fromLatin1(name) << QString();
    QTest::newRow("lblI") << QStringLiteral("lblI") << QStringLiteral("1");
    QTest::newRow("lblJ") << QStringLiteral("lblJ") << QStringLiteral("1");
    QTest::newRow("btInfo") << QStringLiteral("btInfo") << QStringLiteral("?");
}

void tst_Window::hiddenControls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    auto *widget = m_window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QVERIFY(widget->isHidden());
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), caption);
    else
        QCOMPARE(qobject_cast<QPushButton *>(widget)->text(), caption);
}

void tst_Window::frameLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("pixels");
    QTest::newRow("Line1 left") << "Line1" << QRect(QPoint(96, 4), QPoint(96, 404));
    QTest::newRow("Line2 bottom") << "Line2" << QRect(QPoint(96, 404), QPoint(496, 404));
    QTest::newRow("Line3 top") << "Line3" << QRect(QPoint(96, 4), QPoint(496, 4));
    QTest::newRow("Line4 right") << "Line4" << QRect(QPoint(496, 4), QPoint(496, 404));
}

void tst_Window::frameLines()
{
    QFETCH(QString, name);
    QFETCH(QRect, pixels);
    auto *line = m_window->findChild<QWidget *>(name);
    QVERIFY(line);
    QCOMPARE(line->geometry(), pixels);
    const QImage shot = m_window->grab().toImage();
    const QColor text = QApplication::palette().color(QPalette::WindowText);
    QCOMPARE(pixelAt(shot, pixels.topLeft()), text);
    QCOMPARE(pixelAt(shot, pixels.center()), text);
    QCOMPARE(pixelAt(shot, pixels.bottomRight()), text);
}

void tst_Window::windowAtStart()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frmMain"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral(" Quirlbau - Version 1.3"));
    QCOMPARE(m_window->size(), QSize(682, 409));
    QCOMPARE(m_window->palette().color(QPalette::Window), QColor(255, 128, 255));
    QVERIFY(m_window->state().formAlive);
    QCOMPARE(m_window->controls().lblBar->width(), 0);

    const QImage shot = m_window->grab().toImage();
    QCOMPARE(pixelAt(shot, {300, 200}), QColor(255, 128, 255)); // inside the surface
    QCOMPARE(pixelAt(shot, {600, 400}), QColor(255, 128, 255)); // free background
    // The transparent label shows the window through; the trough is white.
    QCOMPARE(pixelAt(shot, {5 + 70, 212 + 11}), QColor(255, 128, 255));
    QCOMPARE(pixelAt(shot, {4 + 40, 248 + 4}), QColor(Qt::white));

    // Enlarging the window moves nothing.
    const QRect start = m_window->controls().cbStart->geometry();
    m_window->resize(900, 600);
    QCOMPARE(m_window->controls().cbStart->geometry(), start);
}

void tst_Window::tabOrder()
{
    const QStringList order = {"txtX0", "txtX1", "txtY0", "txtY1", "txtMaxIter", "btC", "cbStart",
                               "cbF1", "cbF2", "btStop", "cbFC", "cbF3", "cbF4", "btF0", "btF1",
                               "btF2", "btF3", "btF6", "btF4", "btF5", "btF7", "cbF5", "cbF6", "txtX0"};
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_window->controls().txtX0->setFocus();
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
    }

    // A disabled button is skipped.
    m_window->controls().btC->setEnabled(false);
    m_window->controls().txtMaxIter->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cbStart"));
}

void tst_Window::focusAtStart()
{
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCOMPARE(QApplication::focusWidget(), m_window->controls().txtX0);
}

void tst_Window::noAccessKeys()
{
    for (QPushButton *button : m_window->findChildren<QPushButton *>())
        QVERIFY2(!button->text().contains(u'&'), qPrintable(button->objectName()));
    for (QLabel *label : m_window->findChildren<QLabel *>())
        QVERIFY2(!label->buddy(), qPrintable(label->objectName()));
}

void tst_Window::pointSurvivesSystemRepaint()
{
    const ColorRef red = 0x000000FF;
    m_window->surface().setPoint({1440 + 200 * 15, 60 + 100 * 15}, red);
    m_window->surface().showPoints();
    QTRY_COMPARE(pixelAt(m_window->grab().toImage(), {296, 104}), QColor(Qt::red));

    // Cover and uncover: a hide and show and a full repaint keep the picture.
    m_window->hide();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->repaint();
    QCOMPARE(pixelAt(m_window->grab().toImage(), {296, 104}), QColor(Qt::red));
}

void tst_Window::refreshClearsPoints()
{
    m_window->surface().setPoint({1441, 6059}, 0x00FF0000);
    m_window->surface().setPoint({5000, 3000}, 0x0000FF00);
    m_window->surface().showPoints();
    QTRY_COMPARE(pixelAt(m_window->grab().toImage(), {333, 200}), QColor(Qt::green));

    m_window->surface().clear();
    const QImage shot = m_window->grab().toImage();
    QCOMPARE(pixelAt(shot, {333, 200}), QColor(255, 128, 255));
    QCOMPARE(pixelAt(shot, {96, 403}), QApplication::palette().color(QPalette::WindowText));
    QCOMPARE(m_window->picture().pixelColor(0, 399).alpha(), 0);
}

void tst_Window::pointLandsOnFloorOfTwips()
{
    // The first point of a run, (1441, 6059), is the picture's bottom-left
    // pixel; (1454, 6046) is still on it, (1455, 6044) the next one over.
    m_window->surface().setPoint({1441, 6059}, 0x000000FF);
    QCOMPARE(m_window->picture().pixelColor(0, 399), QColor(Qt::red));
    m_window->surface().setPoint({1454, 6046}, 0x00FF0000);
    QCOMPARE(m_window->picture().pixelColor(0, 399), QColor(Qt::blue));
    m_window->surface().setPoint({1455, 6044}, 0x0000FF00);
    QCOMPARE(m_window->picture().pixelColor(1, 398), QColor(Qt::green));
    // The last point of a run, (7434, 66).
    m_window->surface().setPoint({7434, 66}, 0x00FFFFFF);
    QCOMPARE(m_window->picture().pixelColor(399, 0), QColor(Qt::white));
}

void tst_Window::doubleClickOnBackgroundOnly()
{
    QList<QPoint> clicks;
    connect(m_window, &MainWindow::doubleClicked, this, [&clicks](QPoint p) { clicks.append(p); });
    auto doubleClick = [](QWidget *target, QPoint at) {
        QTest::mousePress(target, Qt::LeftButton, {}, at);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at);
        QTest::mouseDClick(target, Qt::LeftButton, {}, at);
        QTest::mouseRelease(target, Qt::LeftButton, {}, at);
    };
    doubleClick(m_window, {200, 150});             // the surface
    doubleClick(m_window, {96, 300});              // a frame line
    doubleClick(m_window, {600, 400});             // free background
    doubleClick(m_window->controls().lblPixel, {5, 5});
    doubleClick(m_window->controls().lblStandardfarben, {5, 5});
    m_window->controls().cbStart->setEnabled(false);
    doubleClick(m_window->controls().cbStart, {5, 5});
    QCOMPARE(clicks, (QList<QPoint>{{200, 150}, {96, 300}, {600, 400}}));

    // Through the window system, which hands each event to the widget under
    // the mouse: the picture above the surface and its frame lines lets
    // double-clicks through to the window, and so to the zoom.
    clicks.clear();
    for (const QPoint at : {QPoint(200, 150), QPoint(96, 300), QPoint(300, 4)})
        QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, at);
    QCOMPARE(clicks, (QList<QPoint>{{200, 150}, {96, 300}, {300, 4}}));
}

void tst_Window::closeClearsFormAlive()
{
    QVERIFY(m_window->state().formAlive);
    m_window->close();
    QVERIFY(!m_window->state().formAlive);
}

void tst_Window::iconIsMandelbrotPicture()
{
    const QIcon icon = m_window->windowIcon();
    QVERIFY(!icon.isNull());
    const QImage image = icon.pixmap(QSize(300, 300)).toImage();
    QCOMPARE(image.size(), QSize(300, 300));
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black));       // far outside: count 1, F7
    QCOMPARE(image.pixelColor(200, 150), QColor(Qt::red));     // c = 0 is in the set: F0 at 300
}

// Regression: the credit label's caption wrapped onto a second line below
// the label's height and lost its last word. No visible caption, the zoom's
// later instructions included, may wrap onto more lines than its label has.
void tst_Window::captionsFitTheirLabels()
{
    const QStringList laterInstructions{
        QStringLiteral("Jetzt die linke obere Ecke des gewuenschten Ausschnitts doppelklicken."),
        QStringLiteral("Jetzt die rechte untere Ecke des gewuenschten Ausschnitts doppelklicken.")};
    QStringList cutOff;
    int checked = 0;
    for (const QLabel *label : m_window->findChildren<const QLabel *>()) {
        if (!label->isVisible() || label->text().isEmpty())
            continue;
        QStringList captions{label->text()};
        if (label == m_window->controls().lblVergroeßerungText)
            captions += laterInstructions;
        const QRect box = label->contentsRect();
        for (const QString &caption : captions) {
            ++checked;
            const QRect needed = label->fontMetrics().boundingRect(
                box, int(label->alignment()) | Qt::TextWordWrap, caption);
            if (needed.height() > box.height())
                cutOff.append(QStringLiteral("%1 \"%2\" needs %3 pixels in %4")
                                  .arg(label->objectName(), caption)
                                  .arg(needed.height())
                                  .arg(box.height()));
        }
    }
    QVERIFY(checked >= 10);
    QVERIFY2(cutOff.isEmpty(), qPrintable(cutOff.join(u"; ")));
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_Window>(argc, argv);
}

#include "tst_window.moc"
