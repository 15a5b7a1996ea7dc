#include "app/application.h"
#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "core/numbertext.h"
#include "form/backcolor.h"
#include "picturefile/pngbandwriter.h"
#include "picturefile/pngtextreader.h"
#include "pictures/picturehistory.h"
#include "render/pausebutton.h"
#include "runsteps.h"
#include "windowsnapshot.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <bit>
#include <csignal>
#include <sys/resource.h>
#include <zlib.h>

// Save, open, copy, the history of complete pictures and their commands,
// on the real window with a platform that answers its dialogs at once.
class tst_Pictures : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void saveThenOpenRestoresAll_data();
    void saveThenOpenRestoresAll();
    void failedSaveKeepsExistingFile_data();
    void failedSaveKeepsExistingFile();
    void openRefusesBadFile_data();
    void openRefusesBadFile();
    void openExportRestoresTextsOnly();
    void backAndForwardLikeABrowser();
    void historyKeepsTheLastHundred();
    void backEndsPausedRun();
    void completeAfterPause_data();
    void completeAfterPause();
    void duringRunOnlySaveAndCopy();
    void dropOnFieldOpensFile();
    void contextMenuOnOwnAreaOnly();

private:
    void runComplete() { clickOn(m_window->controls().cbStart); }
    void press(int key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(m_window, Qt::Key(key), modifiers); }
    QString saveNow(const QString &name);
    QStringList fieldTexts() const;

    FakePlatform *m_platform = nullptr;
    MainWindow *m_window = nullptr;
    QTemporaryDir *m_dir = nullptr;
};

namespace {

// The picture as the screen shows it: undrawn pixels in the window's colour.
QImage onBackground(const QImage &picture)
{
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(toQColor(WindowBackColor));
    QPainter(&shown).drawImage(0, 0, picture);
    return shown;
}

QImage pixelsOf(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

std::optional<PictureRecord> recordOf(const QString &path)
{
    QFile file(path);
    QString whyNot;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<PngHeaderAndTexts> header = readPngTexts(file, &whyNot);
    return header ? pictureRecordFromTexts(header->texts, &whyNot) : std::nullopt;
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

PictureRecord startRecord()
{
    PictureRecord record;
    record.fieldTexts = {u"-1,4025"_qs, u"-1,4020"_qs, u"0,0000"_qs, u"0,0005"_qs, u"300"_qs};
    record.x0 = -1.4025;
    record.x1 = -1.4020;
    record.y1 = 0.0005;
    record.imax = 300;
    record.palette = StandardColors;
    record.complete = true;
    return record;
}

// A PNG as the picture-file library writes it, with noisy pixels so that
// the pixel data is long.
QByteArray pngBytes(int side, const PictureTexts &texts)
{
    QByteArray bytes;
    PngBandWriter writer(
        [&bytes](const char *data, std::size_t size) {
            bytes.append(data, qsizetype(size));
            return true;
        },
        side, side, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF80FF}, texts);
    std::vector<std::uint8_t> row(size_t(side), 0);
    std::uint32_t noise = 12345;
    for (int y = 0; y < side; ++y) {
        for (auto &index : row)
            index = std::uint8_t((noise = noise * 1103515245u + 12345u) >> 30);
        writer.writeRows(row.data(), 1);
    }
    writer.finish();
    return bytes;
}

PictureTexts withValue(PictureTexts texts, const QByteArray &keyword, const QByteArray &value)
{
    for (auto &[key, text] : texts) {
        if (key == keyword)
            text = value;
    }
    return texts;
}

// The byte offset of a chunk's data.
qsizetype chunkData(const QByteArray &png, const QByteArray &type)
{
    return png.indexOf(type) + 4;
}

// The first half of the pixel data in a chunk of its own, followed by the
// end chunk: every checksum right, the picture short of rows.
QByteArray withShortPixels(const QByteArray &png)
{
    const qsizetype at = png.indexOf("IDAT") - 4;
    const QByteArray data = png.mid(at + 8, qFromBigEndian<quint32>(png.constData() + at) / 2);
    const QByteArray typed = "IDAT" + data;
    auto bigEndian = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToBigEndian(value, bytes.data());
        return bytes;
    };
    const auto crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size())));
    return png.left(at) + bigEndian(quint32(data.size())) + typed + bigEndian(crc) + png.right(12);
}

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x20);
    return bytes;
}

} // namespace

void tst_Pictures::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_platform = new FakePlatform;
    m_window = new MainWindow(*m_platform);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_Pictures::cleanup()
{
    delete m_window;
    delete m_platform;
    delete m_dir;
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

// Ctrl+S with the dialog answering `name` in the test's folder.
QString tst_Pictures::saveNow(const QString &name)
{
    const QString path = m_dir->filePath(name);
    m_platform->fileAnswer = path;
    press(Qt::Key_S, Qt::ControlModifier);
    return path;
}

QStringList tst_Pictures::fieldTexts() const
{
    const Controls &c = m_window->controls();
    return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text(), c.txtMaxIter->text()};
}

void tst_Pictures::saveThenOpenRestoresAll_data()
{
    QTest::addColumn<QStringList>("texts"); // empty: the start section as it stands
    QTest::addColumn<bool>("pause");
    QTest::addColumn<QColor>("f0");
    QTest::newRow("start section, complete") << QStringList() << false << QColor();
    QTest::newRow("paused, undrawn points") << QStringList() << true << QColor();
    QTest::newRow("own colour, texts with blanks and exponents")
        << QStringList{u" -1,4025E+00"_qs, u"-1,402"_qs, u"0"_qs, u"5e-4 "_qs, u"120"_qs} << false
        << QColor(0x12, 0x34, 0x56);
    QTest::newRow("doubles of 17 digits")
        << QStringList{u"-0,74530000000000007"_qs, u"-0,74529999999999996"_qs,
                       u"0,10000000000000001"_qs, u"0,10000000000000009"_qs, u"20"_qs}
        << false << QColor(0xFF, 0x80, 0xFF);
}

// The file records what the window read, bit for bit, and opening it on a
// changed window brings back every field text, colour and pixel.
void tst_Pictures::saveThenOpenRestoresAll()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, pause);
    QFETCH(QColor, f0);
    const Controls &c = m_window->controls();
    const std::array<QLineEdit *, 5> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    for (int n = 0; n < texts.size(); ++n)
        typeInto(fields[size_t(n)], texts[n]);
    if (f0.isValid()) {
        m_platform->colorAnswer = f0;
        clickOn(c.btF[0]);
    }
    letEventsRunEveryMillisecond(*m_window);
    if (pause)
        QVERIFY(startAndPause(*m_window) > 0);
    else
        runComplete();
    const QImage picture = m_window->picture().copy();
    const QStringList typed = fieldTexts();

    const QString path = saveNow(u"bild.png"_qs);
    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.join(u"\n")));
    const std::optional<PictureRecord> record = recordOf(path);
    QVERIFY(record);
    const QChar point = u',';
    const double read[4] = {record->x0, record->x1, record->y0, record->y1};
    for (int n = 0; n < 4; ++n)
        QCOMPARE(std::bit_cast<quint64>(read[n]),
                 std::bit_cast<quint64>(*NumberText::toNumber(typed[n], point)));
    QCOMPARE(record->imax, *NumberText::toImax(typed[4], point));
    QCOMPARE(QStringList(record->fieldTexts.begin(), record->fieldTexts.end()), typed);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(record->palette[size_t(n)], backColor(c.lblF[size_t(n)]));
    QCOMPARE(record->complete, !pause);
    QCOMPARE(pixelsOf(path), onBackground(picture));
    if (texts.isEmpty() && !pause)
        QCOMPARE(pixelsOf(path), onBackground(expectedPicture(kernelCounts(StartSection))));

    clickOn(c.btC);
    clickOn(c.cbF[2]);
    clickOn(c.lblStandardfarben);
    QVERIFY(m_window->openPicture(path));
    QCOMPARE(fieldTexts(), typed);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(backColor(c.lblF[size_t(n)]), record->palette[size_t(n)]);
    QCOMPARE(m_window->picture(), picture);
    // The paused run has ended: the next Start begins afresh.
    QCOMPARE(c.btStop->text(), PauseCaption);
    QCOMPARE(c.lblI->text(), u"1"_qs);
    QVERIFY(!m_window->state().resumeRequested);
}

void tst_Pictures::failedSaveKeepsExistingFile_data()
{
    QTest::addColumn<QString>("target"); // in the test's folder unless absolute
    QTest::addColumn<bool>("sizeLimit");
    QTest::addColumn<QString>("reason");
    // As root a folder's permissions stop nothing; these fail for anyone.
    QTest::newRow("file size limit, disk as good as full") << u"bild.png"_qs << true << u"Schreiben"_qs;
    QTest::newRow("the name is a folder") << u"ordner"_qs << false << u"Ordner"_qs;
    QTest::newRow("a folder that takes no files") << u"/proc/quirlbau.png"_qs << false << u"anlegen"_qs;
}

void tst_Pictures::failedSaveKeepsExistingFile()
{
    QFETCH(QString, target);
    QFETCH(bool, sizeLimit);
    QFETCH(QString, reason);
    const QString path = QDir(m_dir->path()).absoluteFilePath(target);
    const QByteArray old = QByteArray("the picture saved before\n").repeated(400);
    if (target == u"ordner")
        QVERIFY(QDir(m_dir->path()).mkdir(target));
    else if (!path.startsWith(u"/proc/"))
        writeFile(path, old);
    const QStringList filesBefore = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden);
    runComplete();

    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    if (sizeLimit) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4096, unlimited.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    m_platform->fileAnswer = path;
    press(Qt::Key_S, Qt::ControlModifier);
    if (sizeLimit)
        setrlimit(RLIMIT_FSIZE, &unlimited);

    QCOMPARE(m_platform->messages.size(), 1);
    const QString message = m_platform->messages.front();
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)) && message.contains(u"speichern")
                 && message.contains(reason),
             qPrintable(message));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
    if (target == u"ordner")
        QVERIFY(QFileInfo(path).isDir());
    else if (!path.startsWith(u"/proc/"))
        QCOMPARE(contentsOf(path), old);
}

void tst_Pictures::openRefusesBadFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const PictureTexts good = pictureTexts(startRecord());
    const QByteArray png = pngBytes(400, good);
    QByteArray foreign;
    QBuffer buffer(&foreign);
    buffer.open(QIODevice::WriteOnly);
    expectedPicture(kernelCounts(StartSection)).save(&buffer, "PNG");

    QTest::newRow("empty") << QByteArray() << u"kein PNG-Bild"_qs;
    QTest::newRow("text, no PNG") << QByteArray("X0 = -1.4025\n") << u"kein PNG-Bild"_qs;
    QTest::newRow("PNG without Quirlbau's texts") << foreign << u"kein Bild von Quirlbau"_qs;
    QTest::newRow("truncated in the texts") << png.left(120) << u"endet vor den Bilddaten"_qs;
    QTest::newRow("truncated in the pixels") << png.left(png.size() - 200) << u"endet vor den Bilddaten"_qs;
    QTest::newRow("text damaged, CRC wrong")
        << flipped(png, png.indexOf("-1,4020")) << u"Prüfsumme"_qs;
    QTest::newRow("pixels damaged")
        << flipped(png, chunkData(png, "IDAT") + png.size() / 2) << u"Prüfsumme"_qs;
    QTest::newRow("pixels cut short, checksums right") << withShortPixels(png) << u"unvollständig"_qs;
    QTest::newRow("another size") << pngBytes(300, good) << u"300 × 300"_qs;
    QTest::newRow("X0 not a number") << pngBytes(400, withValue(good, "X0", "-1,4025")) << u"X0"_qs;
    QTest::newRow("Imax beyond 16 bits") << pngBytes(400, withValue(good, "Imax", "40000")) << u"Imax"_qs;
    QTest::newRow("seven colours")
        << pngBytes(400, withValue(good, "Palette", "#FF0000 #FFFF00 #00FF00 #0000FF #FF00FF #00C0C0 #C04000"))
        << u"Palette"_qs;
}

// Each bad file gets one message naming it and the fault; nothing changes.
void tst_Pictures::openRefusesBadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    runComplete();
    const QStringList before = windowSnapshot(*m_window);
    const QImage picture = m_window->picture().copy();
    const QString path = m_dir->filePath(u"kaputt.png"_qs);
    writeFile(path, bytes);

    QVERIFY(!m_window->openPicture(path));
    QCOMPARE(m_platform->messages.size(), 1);
    const QString message = m_platform->messages.front();
    QVERIFY2(message.contains(path) && message.contains(u"nicht öffnen") && message.contains(reason),
             qPrintable(message));
    QCOMPARE(windowSnapshot(*m_window), before);
    QCOMPARE(m_window->picture(), picture);
}

// An export of another size brings back its texts and colours onto a
// cleared surface: its pixels are no picture of the window's.
void tst_Pictures::openExportRestoresTextsOnly()
{
    runComplete();
    PictureRecord record = startRecord();
    record.fieldTexts = {u"-2"_qs, u"2"_qs, u"-2"_qs, u"2"_qs, u"1000"_qs};
    record.palette[7] = 0x00123456;
    record.size = 4;
    const QString path = m_dir->filePath(u"export.png"_qs);
    writeFile(path, pngBytes(4, pictureTexts(record)));

    QVERIFY(m_window->openPicture(path));
    QCOMPARE(fieldTexts(), QStringList(record.fieldTexts.begin(), record.fieldTexts.end()));
    QCOMPARE(backColor(m_window->controls().lblF[7]), ColorRef(0x00123456));
    QCOMPARE(m_window->picture(), blankPicture());
    QVERIFY(m_platform->messages.isEmpty());
}

// Complete runs A, B, C; back twice, forward once, then a new run D drops C.
void tst_Pictures::backAndForwardLikeABrowser()
{
    const Controls &c = m_window->controls();
    std::vector<QStringList> texts;
    std::vector<QImage> pictures;
    auto completeRun = [&](int preset) {
        if (preset)
            clickOn(c.cbF[size_t(preset)]);
        runComplete();
        texts.push_back(fieldTexts());
        pictures.push_back(m_window->picture().copy());
    };
    typeInto(c.txtMaxIter, u"60"_qs);
    completeRun(0);
    completeRun(1);
    completeRun(5);
    auto shows = [&](size_t entry) {
        return fieldTexts() == texts[entry] && m_window->picture() == pictures[entry];
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

void tst_Pictures::historyKeepsTheLastHundred()
{
    PictureHistory history;
    QImage pixel(1, 1, QImage::Format_Indexed8);
    pixel.setColorTable({qRgb(0, 0, 0)});
    pixel.fill(0);
    for (int n = 0; n < 130; ++n) {
        RunRecord record;
        record.x0 = n;
        history.add(record, pixel);
    }
    QCOMPARE(int(history.size()), PictureHistory::Bound);
    QVERIFY(!history.forward());
    double reached = 129;
    while (const PictureHistory::Entry *entry = history.back()) {
        QCOMPARE(entry->record.x0, reached - 1);
        reached = entry->record.x0;
    }
    QCOMPARE(reached, 130.0 - PictureHistory::Bound);
    QCOMPARE(history.forward()->record.x0, reached + 1);
}

// Back from a paused run shows the latest entry and ends the pause: the
// next Start draws the entry's section afresh.
void tst_Pictures::backEndsPausedRun()
{
    const Controls &c = m_window->controls();
    runComplete();
    const QImage entry = m_window->picture().copy();
    clickOn(c.cbF[5]);
    letEventsRunEveryMillisecond(*m_window);
    QVERIFY(startAndPause(*m_window) > 0);
    press(Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(m_window->picture(), entry);
    QCOMPARE(c.txtX0->text(), u"-1,4025"_qs);
    QCOMPARE(c.btStop->text(), PauseCaption);
    QCOMPARE(backColor(c.btStop), RunningColor);
    QCOMPARE(c.lblI->text(), u"1"_qs);
    QVERIFY(!m_window->state().stopRequested && !m_window->state().resumeRequested);
    clickOn(c.cbFC);
    runComplete();
    QCOMPARE(m_window->picture(), expectedPicture(kernelCounts(StartSection)));
}

void tst_Pictures::completeAfterPause_data()
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
void tst_Pictures::completeAfterPause()
{
    QFETCH(int, change);
    QFETCH(bool, complete);
    const Controls &c = m_window->controls();
    clickOn(c.cbF[1]);
    typeInto(c.txtMaxIter, u"40"_qs);
    runComplete();
    const QStringList first = fieldTexts();
    clickOn(c.cbF[6]);
    letEventsRunEveryMillisecond(*m_window);
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
void tst_Pictures::duringRunOnlySaveAndCopy()
{
    const Controls &c = m_window->controls();
    clickOn(c.cbF[1]);
    runComplete();
    const QString other = saveNow(u"fraktal1.png"_qs);
    clickOn(c.cbF[5]);
    const QStringList texts = fieldTexts();
    QImage atKeyPress;
    QString during;
    letEventsRunEveryMillisecond(*m_window);
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

// A file dropped on a field opens; its name is not pasted into the field.
void tst_Pictures::dropOnFieldOpensFile()
{
    runComplete();
    const QImage picture = m_window->picture().copy();
    const QString path = saveNow(u"gezogen.png"_qs);
    clickOn(m_window->controls().btC);
    QLineEdit *field = m_window->controls().txtY1;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path);
    const QPoint at = field->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(field, &drop);
    QTRY_COMPARE(field->text(), u"0,0005"_qs);
    QCOMPARE(m_window->picture(), picture);
}

// The menu opens on the window's own area and the surface, not on controls.
void tst_Pictures::contextMenuOnOwnAreaOnly()
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
                              u"Bild öffnen …|Ctrl+O"_qs, u"Zurück|Alt+Left"_qs, u"Vor|Alt+Right"_qs};
    rightClickAt(m_window, {300, 200});
    QCOMPARE(shown, entries);
    rightClickAt(m_window, {20, 300});
    QCOMPARE(shown, entries);
    rightClickAt(m_window->controls().cbStart, {5, 5});
    QCOMPARE(shown, QStringList());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    tst_Pictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pictures.moc"
