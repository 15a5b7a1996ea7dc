#include "app/clickablelabel.h"
#include "pictures/filmcommand.h"
#include "core/numbertext.h"
#include "exportrun.h"
#include "form/pausecaptions.h"
#include "picturewindow.h"
#include "windowsnapshot.h"

#include <QAction>
#include <QBuffer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QMimeData>
#include <QtEndian>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Save and Open of the window's picture: the round trip, failed saves, bad
// files, exports and drops, on the real window.
class tst_PictureFiles : public PictureWindowTest
{
    Q_OBJECT

private slots:
    void saveThenOpenRestoresAll_data();
    void saveThenOpenRestoresAll();
    void failedSaveKeepsExistingFile_data();
    void failedSaveKeepsExistingFile();
    void openRefusesBadFile_data();
    void openRefusesBadFile();
    void openRefusesCraftedFile();
    void saveFollowsTheTarget();
    void openExportRestoresTextsOnly();
    void dropOnFieldOpensFile();
    void openTakesTheNameAsBytes();
    void openCycledExportSaysSo();
    void openBeyondTheFieldsSaysSo_data();
    void openBeyondTheFieldsSaysSo();
    void saveAfterDeepOpenDropsTheView();
    void filmRefusedBeforeDrawing();
    void filmCancelledLeavesNothing();
};

namespace {

// The first half of the pixel data in a chunk of its own, followed by the
// end chunk: every checksum right, the picture short of rows.
QByteArray withShortPixels(const QByteArray &png)
{
    const qsizetype at = png.indexOf("IDAT") - 4;
    const quint32 half = qFromBigEndian<quint32>(png.constData() + at) / 2;
    QByteArray length(4, '\0');
    qToBigEndian(half, length.data());
    QByteArray cut = png.left(at) + length + png.mid(at + 4, 4 + half) + QByteArray(4, '\0') + png.right(12);
    fixCrc(cut, at);
    return cut;
}

// The swatches of the standard palette, then the background: the colour
// table the window writes.
std::vector<std::uint32_t> windowColours()
{
    std::vector<std::uint32_t> rgb;
    for (ColorRef ref : StandardColors)
        rgb.push_back(opaqueArgb(ref) & 0xFFFFFFu);
    rgb.push_back(opaqueArgb(WindowBackColor) & 0xFFFFFFu);
    return rgb;
}

// The file with its pixel data replaced by `zlib` in IDATs of 64 KiB, CRCs right.
QByteArray withPixelData(const QByteArray &png, const QByteArray &zlib)
{
    constexpr qsizetype ChunkBytes = 1 << 16;
    QByteArray file = png.left(png.indexOf("IDAT") - 4);
    for (qsizetype at = 0; at < zlib.size(); at += ChunkBytes)
        file += pngChunk("IDAT", zlib.mid(at, ChunkBytes));
    return file + pngChunk("IEND", {});
}

QByteArray zeros(qsizetype bytes, int level)
{
    const QByteArray plain(bytes, '\0');
    uLongf size = compressBound(uLong(bytes));
    QByteArray packed(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef *>(packed.data()), &size, reinterpret_cast<const Bytef *>(plain.constData()),
              uLong(bytes), level);
    packed.truncate(qsizetype(size));
    return packed;
}

QByteArray flipped(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x20);
    return bytes;
}

} // namespace

void tst_PictureFiles::saveThenOpenRestoresAll_data()
{
    QTest::addColumn<QStringList>("texts"); // empty: the start section as it stands
    QTest::addColumn<bool>("pause");
    QTest::addColumn<QColor>("f0");
    QTest::newRow("start section, complete") << QStringList() << false << QColor();
    QTest::newRow("paused, undrawn points") << QStringList() << true << QColor();
    // Imax 120 reaches the counts drawn in F0: set to the window's pink,
    // they are drawn points all the same.
    QTest::newRow("F0 the window's pink, texts with blanks and exponents")
        << QStringList{u" -1,4025E+00"_qs, u"-1,402"_qs, u"0"_qs, u"5e-4 "_qs, u"120"_qs} << false
        << QColor(0xFF, 0x80, 0xFF);
    QTest::newRow("doubles of 17 digits, own colour")
        << QStringList{u"-0,74530000000000007"_qs, u"-0,74529999999999996"_qs,
                       u"0,10000000000000001"_qs, u"0,10000000000000009"_qs, u"20"_qs}
        << false << QColor(0x12, 0x34, 0x56);
}

// The file records what the window read, bit for bit, and opening it on a
// changed window brings back every field text, colour and pixel.
void tst_PictureFiles::saveThenOpenRestoresAll()
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
    if (pause)
        QVERIFY(startAndPause(*m_window) > 0);
    else
        runComplete();
    const QImage picture = m_window->picture().copy();
    const QStringList typed = fieldTexts();
    const QStringList shown = counters();

    const QString path = saveNow(u"bild.png"_qs);
    QVERIFY2(m_platform->messages.isEmpty(), qPrintable(m_platform->messages.join(u"\n")));
    const std::optional<PictureRecord> record = recordOf(path);
    QVERIFY(record);
    const QChar point = u',';
    const Section &section = record->drawing.section;
    const double read[4] = {section.x0, section.x1, section.y0, section.y1};
    for (int n = 0; n < 4; ++n)
        QCOMPARE(std::bit_cast<quint64>(read[n]),
                 std::bit_cast<quint64>(*NumberText::toNumber(typed[n], point)));
    QCOMPARE(record->drawing.imax, *NumberText::toImax(typed[4], point));
    QCOMPARE(QStringList(record->drawing.fieldTexts.begin(), record->drawing.fieldTexts.end()), typed);
    for (int n = 0; n < 8; ++n)
        QCOMPARE(record->drawing.palette[size_t(n)], backColor(c.lblF[size_t(n)]));
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
        QCOMPARE(backColor(c.lblF[size_t(n)]), record->drawing.palette[size_t(n)]);
    QCOMPARE(m_window->picture(), picture);
    QCOMPARE(counters(), shown);
    // The paused run has ended: the next Start begins afresh.
    QCOMPARE(c.btStop->text(), PauseCaption);
    QCOMPARE(c.lblI->text(), u"1"_qs);
    QVERIFY(!m_window->state().resumeRequested);
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
    // Regression: the failed save moved the folder the dialogs start in.
    m_platform->fileAnswer = std::nullopt;
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(QFileInfo(m_platform->proposedPaths.back()).path(),
             QFileInfo(m_platform->proposedPaths.front()).path());
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

    // The reader's own refusals (no PNG, cut or damaged texts, bad values)
    // are tst_picturefile's rows; these are one of each kind the window
    // passes on, and the checks of its own.
    QTest::newRow("empty") << QByteArray() << u"kein PNG-Bild"_qs;
    QTest::newRow("PNG without Quirlbau's texts") << foreign << u"kein Bild von Quirlbau"_qs;
    QTest::newRow("truncated in the pixels") << png.left(png.size() - 20) << u"endet vor den Bilddaten"_qs;
    // zlib or the CRC, whichever notices first.
    QTest::newRow("pixels damaged") << flipped(png, png.size() - 20) << u"beschädigt"_qs;
    QTest::newRow("pixels cut short, checksums right") << withShortPixels(png) << u"unvollständig"_qs;
    QTest::newRow("another size") << pngBytes(300, good) << u"300 × 300"_qs;
    QTest::newRow("X0 not a number") << pngBytes(400, withValue(good, "X0", "-1,4025")) << u"X0"_qs;
    // The picture distrusted: its colour table and pixels must agree with its texts.
    const std::vector<std::uint32_t> colours = windowColours();
    QTest::newRow("colour table cut to 2 entries")
        << pngBytes(pattern(400, 400, 2), 400, 400, 400, {colours[0], colours[1]}, good) << u"Farbtabelle"_qs;
    QTest::newRow("complete, but pixels in the background colour")
        << pngBytes(pattern(400, 400, 9), 400, 400, 400, colours, good) << u"als fertig verzeichnet"_qs;
    const QByteArray drawn = pngBytes(pattern(400, 400, 8), 400, 400, 400, colours, good);
    QTest::newRow("pixel data longer than any 400 × 400 picture")
        << withPixelData(drawn, zeros(1 << 20, 0)) << u"länger, als ein Bild dieser Größe"_qs;
    QTest::newRow("pixel data inflating to 64 MiB")
        << withPixelData(drawn, zeros(64 << 20, 9)) << u"beschädigt oder unvollständig"_qs;
}

// 4,094 private chunks of 16 MiB before the pixels, 64 GiB in all (sparse):
// refused at the first one, not read.
void tst_PictureFiles::openRefusesCraftedFile()
{
    const QString path = pathOf(u"riesig.png"_qs);
    writeCraftedPng(path, 4094, 16u << 20);
    QVERIFY(!m_window->openPicture(path));
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY2(m_platform->messages.front().contains(u"16777216 Bytes lang, zu lang"_qs),
             qPrintable(m_platform->messages.front()));
}

// As the export does: a symlink is followed and the file it names keeps its
// mode; a FIFO is refused and left alone.
void tst_PictureFiles::saveFollowsTheTarget()
{
    runComplete();
    const QString real = pathOf(u"echt.png"_qs);
    writeFile(real, "old");
    QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0600), 0);
    QVERIFY(QFile::link(real, pathOf(u"verweis.png"_qs)));
    saveNow(u"verweis.png"_qs);
    QCOMPARE(m_platform->messages, QStringList());
    QVERIFY(QFileInfo(pathOf(u"verweis.png"_qs)).isSymLink());
    QVERIFY(recordOf(real));
    struct stat status{};
    QCOMPARE(::stat(QFile::encodeName(real).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));

    const QByteArray fifo = QFile::encodeName(pathOf(u"fifo.png"_qs));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    saveNow(u"fifo.png"_qs);
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY2(m_platform->messages.front().contains(u"keine gewöhnliche Datei"_qs),
             qPrintable(m_platform->messages.front()));
    QVERIFY(::stat(fifo.constData(), &status) == 0 && S_ISFIFO(status.st_mode));
}

// Each bad file gets one message naming it and the fault; nothing changes.
void tst_PictureFiles::openRefusesBadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    runComplete();
    const QStringList before = windowSnapshot(*m_window);
    const QImage picture = m_window->picture().copy();
    const QString path = pathOf(u"kaputt.png"_qs);
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
// cleared surface: its pixels are no picture of the window's, the counters
// of the run before are no counters of it.
void tst_PictureFiles::openExportRestoresTextsOnly()
{
    runComplete();
    PictureRecord record = startRecord();
    record.drawing.fieldTexts = {u"-2"_qs, u"2"_qs, u"-2"_qs, u"2"_qs, u"1000"_qs};
    record.drawing.palette[7] = 0x00123456;
    record.size = 4;
    const QString path = pathOf(u"export.png"_qs);
    writeFile(path, pngBytes(4, pictureTexts(record)));

    QVERIFY(m_window->openPicture(path));
    QCOMPARE(fieldTexts(), QStringList(record.drawing.fieldTexts.begin(), record.drawing.fieldTexts.end()));
    QCOMPARE(backColor(m_window->controls().lblF[7]), ColorRef(0x00123456));
    QCOMPARE(m_window->picture(), blankPicture());
    QCOMPARE(counters(), (QStringList{QString(), QString(), u"0"_qs})); // an export has no counters
    QVERIFY(m_platform->messages.isEmpty());
}

// quirlbau FILE.png passes the name as the system gave it: a name that is
// no UTF-8 opens, and a missing one is named with its odd bytes escaped.
void tst_PictureFiles::openTakesTheNameAsBytes()
{
    runComplete();
    const QImage picture = m_window->picture().copy();
    const QByteArray folder = QFile::encodeName(pathOf(QString()));
    const QByteArray name = folder + "/bild\xff\xfe.png";
    // Qt cannot name it, so its temporary folder could not remove it.
    const struct RemoveAtEnd {
        QByteArray name;
        ~RemoveAtEnd() { ::unlink(name.constData()); }
    } removeAtEnd{name};
    QCOMPARE(::rename(QFile::encodeName(saveNow(u"bild.png"_qs)).constData(), name.constData()), 0);
    clickOn(m_window->controls().btC);

    QVERIFY(m_window->openPicture(name));
    QCOMPARE(m_window->picture(), picture);
    QVERIFY(m_platform->messages.isEmpty());

    QVERIFY(!m_window->openPicture(QByteArray(folder + "/fehlt\xff.png")));
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY(m_platform->messages[0].contains(u"fehlt\\xFF.png“"_qs));
}

// A file dropped on a field opens; its name is not pasted into the field.
void tst_PictureFiles::dropOnFieldOpensFile()
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

// An export with --cycle opens like any export, with one line saying that
// the window draws without the cycle.
void tst_PictureFiles::openCycledExportSaysSo()
{
    PictureRecord record = startRecord();
    record.size = 4;
    record.height = 4;
    record.cycle = true;
    const QString path = pathOf(u"cycled.png"_qs);
    writeFile(path, pngBytes(4, pictureTexts(record)));
    QVERIFY(m_window->openPicture(path));
    QCOMPARE(fieldTexts(), QStringList(record.drawing.fieldTexts.begin(), record.drawing.fieldTexts.end()));
    QCOMPARE(m_platform->messages,
             QStringList{u"Quirlbau|Das Bild färbt Zählwerte über 400 im Kreis (--cycle); das Fenster zeichnet ohne "
                         u"diese Färbung."_qs});
}

namespace {

const QString DeepNote = u"Das Bild ist tiefer gezoomt, als das Fenster rechnen kann (--re, --im, --width); das "
                         u"Fenster zeichnet es mit doppelter Genauigkeit."_qs;
const QString CycleNote = u"Das Bild färbt Zählwerte über 400 im Kreis (--cycle); das Fenster zeichnet ohne diese "
                          u"Färbung."_qs;

QString imaxNote(qint64 imax)
{
    return u"Das Bild ist mit Imax %1 gerechnet; das Feld fasst höchstens 32767 und zeigt diesen Wert."_qs.arg(imax);
}

// A deep still 1E-30 wide, 8 × 6, by the real export.
QStringList deepStill(const QString &name, const QStringList &more)
{
    return QStringList{u"--render="_qs + name, u"--re=-0,74364388703715870475219150611477"_qs,
                       u"--im=0,13182590420531197049313205638514"_qs, u"--width=1E-30"_qs, u"--size=8x6"_qs,
                       u"--quiet"_qs}
           + more;
}

} // namespace

void tst_PictureFiles::openBeyondTheFieldsSaysSo_data()
{
    QTest::addColumn<QStringList>("exportArguments"); // empty: a window picture with Imax 100000
    QTest::addColumn<QString>("fieldImax");
    QTest::addColumn<QStringList>("notes");
    QTest::newRow("deep still") << deepStill(u"deep.png"_qs, {u"--imax=1000"_qs}) << u"1000"_qs
                                << QStringList{DeepNote};
    QTest::newRow("deep still, Imax 100000, cycled")
        << deepStill(u"deep.png"_qs, {u"--imax=100000"_qs, u"--cycle"_qs}) << u"32767"_qs
        << QStringList{DeepNote, imaxNote(100000), CycleNote};
    QTest::newRow("window picture, Imax 100000") << QStringList() << u"32767"_qs << QStringList{imaxNote(100000)};
}

// A picture whose values the fields cannot hold opens with what they hold:
// X0 … Y1 from its doubles (a deep view's decimal texts are finer), Imax at
// most the field's largest, its palette; the pixels stay in the file, as
// for an export, and one message says what the window draws differently.
void tst_PictureFiles::openBeyondTheFieldsSaysSo()
{
    QFETCH(QStringList, exportArguments);
    QFETCH(QString, fieldImax);
    QFETCH(QStringList, notes);
    runComplete();
    QString path = pathOf(u"deep.png"_qs);
    PictureRecord window = startRecord();
    window.drawing.palette[7] = 0x00123456;
    if (exportArguments.isEmpty())
        writeFile(path = pathOf(u"window.png"_qs), pngBytes(400, withValue(pictureTexts(window), "Imax", "100000")));
    else
        QCOMPARE(runQuirlbau(m_dir->path(), exportArguments).status, 0);
    const PictureTexts texts = textsOfFile(path);
    const bool deep = !valueOf(texts, "Re").isNull();

    QVERIFY(m_window->openPicture(path));
    QStringList fields;
    for (const char *key : {"X0", "X1", "Y0", "Y1"}) {
        fields << (deep ? NumberText::fromNumber(valueOf(texts, key).toDouble(), QLatin1Char(','))
                        : QString::fromUtf8(valueOf(texts, QByteArray("Field ") + key)));
    }
    QCOMPARE(fieldTexts(), fields << fieldImax);
    QCOMPARE(backColor(m_window->controls().lblF[7]), deep ? StandardColors[7] : window.drawing.palette[7]);
    QCOMPARE(m_window->picture(), blankPicture());
    QCOMPARE(counters(), (QStringList{QString(), QString(), u"0"_qs}));
    QCOMPARE(m_platform->messages, QStringList{u"Quirlbau|"_qs + notes.join(u"\n\n"_qs)});
}

// Saved again, the window's picture is its own: the section's doubles and
// the Imax its field holds, without the deep view's texts (its blank
// surface is no picture of that view), so it opens again without a note.
void tst_PictureFiles::saveAfterDeepOpenDropsTheView()
{
    QCOMPARE(runQuirlbau(m_dir->path(), deepStill(u"deep.png"_qs, {u"--imax=100000"_qs})).status, 0);
    QVERIFY(m_window->openPicture(pathOf(u"deep.png"_qs)));
    const QStringList fields = fieldTexts();
    const PictureTexts deep = textsOfFile(pathOf(u"deep.png"_qs));
    const PictureTexts saved = textsOfFile(saveNow(u"saved.png"_qs));
    for (const char *key : {"Re", "Im", "Width", "Size"})
        QVERIFY2(valueOf(saved, key).isNull(), key);
    for (const char *key : {"X0", "X1", "Y0", "Y1"})
        QCOMPARE(valueOf(saved, key), valueOf(deep, key));
    QCOMPARE(valueOf(saved, "Imax"), QByteArray("32767"));
    QCOMPARE(valueOf(saved, "Complete"), QByteArray("no"));

    m_platform->messages.clear();
    clickOn(m_window->controls().btC);
    QVERIFY(m_window->openPicture(pathOf(u"saved.png"_qs)));
    QCOMPARE(fieldTexts(), fields);
    QVERIFY(m_platform->messages.isEmpty());
}

// "Zoomfilm speichern …" before anything was drawn: a message, no dialog, no file.
void tst_PictureFiles::filmRefusedBeforeDrawing()
{
    m_platform->fileAnswer = pathOf(u"film.mp4"_qs);
    m_window->findChild<QAction *>(u"actFilm"_qs)->trigger();
    QCOMPARE(m_platform->messages,
             QStringList{u"Quirlbau|Es ist noch nichts gezeichnet: Ein Zoomfilm führt in das gezeigte Bild, zeichnen "
                         u"Sie zuerst eines."_qs});
    QVERIFY(m_platform->proposedPaths.isEmpty());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// The film is made in the background while the window goes on answering;
// Cancel in the progress dialog leaves no file and the picture as it was.
void tst_PictureFiles::filmCancelledLeavesNothing()
{
    runComplete();
    const QImage picture = m_window->picture().copy();
    m_platform->fileAnswer = pathOf(u"film.mp4"_qs);
    auto *film = m_window->findChild<FilmCommand *>();
    QVERIFY(film);
    QSignalSpy finished(film, &FilmCommand::finished);
    m_window->findChild<QAction *>(u"actFilm"_qs)->trigger();
    auto *progress = m_window->findChild<QProgressDialog *>(u"filmProgress"_qs);
    QVERIFY(progress && !progress->isModal());
    QVERIFY(m_platform->proposedPaths.constFirst().endsWith(u".mp4"_qs));
    QTRY_VERIFY_WITH_TIMEOUT(progress->value() >= 2, 60000);
    QVERIFY(film->isMaking());
    progress->findChild<QPushButton *>()->click();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.constFirst().constFirst().toBool(), false);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(m_window->picture(), picture);
    QVERIFY(m_platform->messages.isEmpty());
}

int main(int argc, char *argv[])
{
    return windowTestMain<tst_PictureFiles>(argc, argv);
}

#include "tst_picturefiles.moc"
