#include "picturewindow.h"
#include "pictures/picturehistory.h"
#include "form/pausecaptions.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>

// The history of complete pictures, Back and Forward, and the commands'
// menu and keys, also while a run draws or is paused, on the real window.
class tst_PictureHistory : public PictureWindowTest
{
    Q_OBJECT

private slots:
    void backAndForwardLikeABrowser();
    void historyKeepsTheLastHundred();
    void backEndsPausedRun();
    void completeAfterPause_data();
    void completeAfterPause();
    void duringRunOnlySaveAndCopy();
    void contextMenuOnOwnAreaOnly();
};

// Complete runs A, B, C; back twice, forward once, then a new run D drops C.
// Each entry brings back its picture, its texts and its counters.
void tst_PictureHistory::backAndForwardLikeABrowser()
{
    const Controls &c = m_window->controls();
    std::vector<QStringList> texts;
    std::vector<QImage> pictures;
    std::vector<QStringList> shownCounters;
    auto completeRun = [&](int preset) {
        if (preset)
            clickOn(c.cbF[size_t(preset)]);
        runComplete();
        texts.push_back(fieldTexts());
        pictures.push_back(m_window->picture().copy());
        shownCounters.push_back(counters());
    };
    typeInto(c.txtMaxIter, u"60"_qs);
    completeRun(0);
    completeRun(1);
    completeRun(5);
    auto shows = [&](size_t entry) {
        return fieldTexts() == texts[entry] && m_window->picture() == pictures[entry]
            && counters() == shownCounters[entry];
    };
    const std::vector<std::pair<Qt::Key, size_t>> steps{
        {Qt::Key_Left, 1}, {Qt::Key_Left, 0}, {Qt::Key_Left, 0}, {Qt::Key_Right, 1}};
    for (const auto &[key, entry] : steps) {
        press(key, Qt::AltModifier);
        QVERIFY2(shows(entry), qPrintable(QString::number(entry)));
    }
    completeRun(6); // D, entry 3
    press(Qt::Key_Right, Qt::AltModifier);
    QVERIFY(shows(3));
    press(Qt::Key_Left, Qt::AltModifier);
    QVERIFY(shows(1));
    // A cleared surface is no entry: Back returns to the entry last shown.
    clickOn(c.cbFC);
    press(Qt::Key_Left, Qt::AltModifier);
    QVERIFY(shows(1));
    QVERIFY(m_platform->messages.isEmpty());
}

void tst_PictureHistory::historyKeepsTheLastHundred()
{
    PictureHistory history;
    QImage pixel(1, 1, QImage::Format_Indexed8);
    pixel.setColorTable({qRgb(0, 0, 0)});
    pixel.fill(0);
    for (int n = 0; n < 130; ++n) {
        Drawing record;
        record.section.x0 = n;
        history.add(record, {}, pixel);
    }
    QCOMPARE(int(history.size()), PictureHistory::Bound);
    QVERIFY(!history.forward());
    double reached = 129;
    while (const PictureHistory::Entry *entry = history.back()) {
        QCOMPARE(entry->record.section.x0, reached - 1);
        reached = entry->record.section.x0;
    }
    QCOMPARE(reached, 130.0 - PictureHistory::Bound);
    QCOMPARE(history.forward()->record.section.x0, reached + 1);
}

// Back from a paused run shows the latest entry and ends the pause: the
// next Start draws the entry's section afresh.
void tst_PictureHistory::backEndsPausedRun()
{
    const Controls &c = m_window->controls();
    runComplete();
    const QImage entry = m_window->picture().copy();
    clickOn(c.cbF[5]);
    QVERIFY(startAndPause(*m_window) > 0);
    press(Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(m_window->picture(), entry);
    QCOMPARE(c.txtX0->text(), u"-1,4025"_qs);
    QCOMPARE(c.btStop->text(), PauseCaption);
    QCOMPARE(backColor(c.btStop), PausedColor); // the face btC leaves
    QCOMPARE(c.lblI->text(), u"1"_qs);
    QVERIFY(!m_window->state().stopRequested && !m_window->state().resumeRequested);
    clickOn(c.cbFC);
    runComplete();
    QCOMPARE(m_window->picture(), expectedPicture(kernelCounts(StartSection)));
}

void tst_PictureHistory::completeAfterPause_data()
{
    QTest::addColumn<int>("change"); // during the pause
    QTest::addColumn<bool>("complete");
    QTest::newRow("nothing changed") << 0 << true;
    QTest::newRow("same value, other text") << 1 << true;
    QTest::newRow("section changed") << 2 << false;
    QTest::newRow("colour changed") << 3 << false;
    QTest::newRow("surface cleared") << 4 << false;
}

// A paused and continued run completes the picture only if every column
// was drawn alike since the last Refresh; only then is it an entry.
void tst_PictureHistory::completeAfterPause()
{
    QFETCH(int, change);
    QFETCH(bool, complete);
    const Controls &c = m_window->controls();
    clickOn(c.cbF[1]);
    typeInto(c.txtMaxIter, u"40"_qs);
    runComplete();
    const QStringList first = fieldTexts();
    clickOn(c.cbF[6]);
    QVERIFY(startAndPause(*m_window) > 0);
    if (change == 1)
        typeInto(c.txtX0, u"-1,40250"_qs);
    if (change == 2)
        typeInto(c.txtX1, u"-1,4022"_qs);
    if (change == 3) {
        m_platform->colorAnswer = QColor(1, 2, 3);
        clickOn(c.btF[3]);
    }
    if (change == 4)
        clickOn(c.cbFC);
    clickOn(c.btStop);
    QCOMPARE(c.btStop->text(), PauseCaption);
    const QStringList second = fieldTexts();

    QCOMPARE(recordOf(saveNow(u"fortgesetzt.png"_qs))->complete, complete);
    press(Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(fieldTexts(), first);
    press(Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(fieldTexts() == second, complete);
}

// While a run draws, Open and Back wait; Save takes the picture as it is
// at the key press.
void tst_PictureHistory::duringRunOnlySaveAndCopy()
{
    const Controls &c = m_window->controls();
    clickOn(c.cbF[1]);
    runComplete();
    const QString other = saveNow(u"fraktal1.png"_qs);
    clickOn(c.cbF[5]);
    const QStringList texts = fieldTexts();
    QImage atKeyPress;
    QString during;
    m_platform->onDoEvents = [&] {
        if (!atKeyPress.isNull() || m_window->state().pixelCount < 3 * GridPoints)
            return;
        m_platform->fileAnswer = other;
        press(Qt::Key_O, Qt::ControlModifier);
        press(Qt::Key_Left, Qt::AltModifier);
        atKeyPress = m_window->picture().copy();
        during = saveNow(u"mittendrin.png"_qs);
        press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    };
    runComplete();
    m_platform->onDoEvents = nullptr;
    QVERIFY(!atKeyPress.isNull());
    QCOMPARE(fieldTexts(), texts);
    QCOMPARE(pixelsOf(during), onBackground(atKeyPress));
    QVERIFY(!recordOf(during)->complete);
    QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
             onBackground(atKeyPress));
    QCOMPARE(QGuiApplication::clipboard()->text(),
             u"X0 = -1.4025\nX1 = -1.402\nY0 = -0.00025\nY1 = 0.00025\nImax = 300"_qs);
    QVERIFY(m_platform->messages.isEmpty());
}

// The menu opens on the window's own area and the surface, not on controls.
void tst_PictureHistory::contextMenuOnOwnAreaOnly()
{
    QStringList shown;
    auto rightClickAt = [&](QWidget *target, QPoint at) {
        shown.clear();
        QTimer::singleShot(0, this, [&shown] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *action : menu->actions()) {
                    if (!action->isSeparator())
                        shown.append(action->text() + u'|' + action->shortcut().toString());
                }
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &event);
        QCoreApplication::processEvents();
    };
    const QStringList entries{u"Bild speichern …|Ctrl+S"_qs, u"Bild kopieren|Ctrl+Shift+C"_qs,
                              u"Zoomfilm speichern …|"_qs, u"Bild öffnen …|Ctrl+O"_qs, u"Zurück|Alt+Left"_qs, u"Vor|Alt+Right"_qs};
    rightClickAt(m_window, {300, 200});
    QCOMPARE(shown, entries);
    rightClickAt(m_window, {20, 300});
    QCOMPARE(shown, entries);
    rightClickAt(m_window->controls().cbStart, {5, 5});
    QCOMPARE(shown, QStringList());
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_PictureHistory>(argc, argv);
}

#include "tst_picturehistory.moc"
