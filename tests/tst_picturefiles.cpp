#include "app/application.h"
#include "app/clickablelabel.h"
#include "core/numbertext.h"
#include "picturefile/pngbandwriter.h"
#include "picturewindow.h"
#include "render/pausebutton.h"
#include "windowsnapshot.h"

#include <QApplication>
#include <QBuffer>
#include <QMimeData>
#include <QtEndian>

#include <bit>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <zlib.h>

// Save and Open of the window's picture: the round trip, failed saves, bad
// files, exports and drops, on the real window.
class tst_PictureFiles : public QObject
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
    void dropOnFieldOpensFile();

private:
    std::unique_ptr<PictureWindow> m_w;
};

namespace {

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

void tst_PictureFiles::init()
{
    m_w = std::make_unique<PictureWindow>();
    QVERIFY(m_w->dir.isValid());
    QVERIFY(QTest::qWaitForWindowExposed(&m_w->window));
}

void tst_PictureFiles::cleanup()
{
    m_w.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_PictureFiles::saveThenOpenRestoresAll_data()
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
void tst_PictureFiles::saveThenOpenRestoresAll()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, pause);
    QFETCH(QColor, f0);
    const Controls &c = m_w->window.controls();
    const std::array<QLineEdit *, 5> fields{c.txtX0, c.txtX1, c.txtY0, c.txtY1, c.txtMaxIter};
    for (int n = 0; n < texts.size(); ++n)
        typeInto(fields[size_t(n)], texts[n]);
    if (f0.isValid()) {
        m_w->platform.colorAnswer = f0;
        clickOn(c.btF[0]);
    }
    letEventsRunEveryMillisecond(m_w->window);
    if (pause)
        QVERIFY(startAndPause(m_w->window) > 0);
    else
        m_w->runComplete();
    const QImage picture = m_w->window.picture().copy();
    const QStringList typed = m_w->fieldTexts();

    const QString path = m_w->saveNow(u"bild.png"_qs);
    QVERIFY2(m_w->platform.messages.isEmpty(), qPrintable(m_w->platform.messages.join(u"\n")));
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
    QVERIFY(m_w->window.openPicture(path));
    QCOMPARE(m_w->fieldTexts(), typed);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(backColor(c.lblF[size_t(n)]), record->palette[size_t(n)]);
    QCOMPARE(m_w->window.picture(), picture);
    // The paused run has ended: the next Start begins afresh.
    QCOMPARE(c.btStop->text(), PauseCaption);
    QCOMPARE(c.lblI->text(), u"1"_qs);
    QVERIFY(!m_w->window.state().resumeRequested);
}

void tst_PictureFiles::failedSaveKeepsExistingFile_data()
{
    QTest::addColumn<QString>("target"); // in the test's folder unless absolute
    QTest::addColumn<bool>("sizeLimit");
    QTest::addColumn<QString>("reason");
    // As root a folder's permissions stop nothing; these fail for anyone.
    QTest::newRow("file size limit, disk as good as full") << u"bild.png"_qs << true << u"Schreiben"_qs;
    QTest::newRow("the name is a folder") << u"ordner"_qs << false << u"Ordner"_qs;
    QTest::newRow("a folder that takes no files") << u"/proc/quirlbau.png"_qs << false << u"anlegen"_qs;
}

void tst_PictureFiles::failedSaveKeepsExistingFile()
{
    QFETCH(QString, target);
    QFETCH(bool, sizeLimit);
    QFETCH(QString, reason);
    const QString path = QDir(m_w->dir.path()).absoluteFilePath(target);
    const QByteArray old = QByteArray("the picture saved before\n").repeated(400);
    if (target == u"ordner")
        QVERIFY(QDir(m_w->dir.path()).mkdir(target));
    else if (!path.startsWith(u"/proc/"))
        writeFile(path, old);
    const QStringList filesBefore = QDir(m_w->dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    m_w->runComplete();

    rlimit unlimited{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    if (sizeLimit) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{4096, unlimited.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    m_w->platform.fileAnswer = path;
    m_w->press(Qt::Key_S, Qt::ControlModifier);
    if (sizeLimit)
        setrlimit(RLIMIT_FSIZE, &unlimited);

    QCOMPARE(m_w->platform.messages.size(), 1);
    const QString message = m_w->platform.messages.front();
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)) && message.contains(u"speichern")
                 && message.contains(reason),
             qPrintable(message));
    QCOMPARE(QDir(m_w->dir.path()).entryList(QDir::AllEntries | QDir::Hidden), filesBefore);
    if (target == u"ordner")
        QVERIFY(QFileInfo(path).isDir());
    else if (!path.startsWith(u"/proc/"))
        QCOMPARE(contentsOf(path), old);
}

void tst_PictureFiles::openRefusesBadFile_data()
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
void tst_PictureFiles::openRefusesBadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    m_w->runComplete();
    const QStringList before = windowSnapshot(m_w->window);
    const QImage picture = m_w->window.picture().copy();
    const QString path = m_w->dir.filePath(u"kaputt.png"_qs);
    writeFile(path, bytes);

    QVERIFY(!m_w->window.openPicture(path));
    QCOMPARE(m_w->platform.messages.size(), 1);
    const QString message = m_w->platform.messages.front();
    QVERIFY2(message.contains(path) && message.contains(u"nicht öffnen") && message.contains(reason),
             qPrintable(message));
    QCOMPARE(windowSnapshot(m_w->window), before);
    QCOMPARE(m_w->window.picture(), picture);
}

// An export of another size brings back its texts and colours onto a
// cleared surface: its pixels are no picture of the window's.
void tst_PictureFiles::openExportRestoresTextsOnly()
{
    m_w->runComplete();
    PictureRecord record = startRecord();
    record.fieldTexts = {u"-2"_qs, u"2"_qs, u"-2"_qs, u"2"_qs, u"1000"_qs};
    record.palette[7] = 0x00123456;
    record.size = 4;
    const QString path = m_w->dir.filePath(u"export.png"_qs);
    writeFile(path, pngBytes(4, pictureTexts(record)));

    QVERIFY(m_w->window.openPicture(path));
    QCOMPARE(m_w->fieldTexts(), QStringList(record.fieldTexts.begin(), record.fieldTexts.end()));
    QCOMPARE(backColor(m_w->window.controls().lblF[7]), ColorRef(0x00123456));
    QCOMPARE(m_w->window.picture(), blankPicture());
    QVERIFY(m_w->platform.messages.isEmpty());
}

// A file dropped on a field opens; its name is not pasted into the field.
void tst_PictureFiles::dropOnFieldOpensFile()
{
    m_w->runComplete();
    const QImage picture = m_w->window.picture().copy();
    const QString path = m_w->saveNow(u"gezogen.png"_qs);
    clickOn(m_w->window.controls().btC);
    QLineEdit *field = m_w->window.controls().txtY1;
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
    QCOMPARE(m_w->window.picture(), picture);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);
    tst_PictureFiles test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_picturefiles.moc"
