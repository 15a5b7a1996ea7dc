#include "core/numbertext.h"
#include "picturebytes.h"
#include "picturefile/windowrecord.h"

#include <QBuffer>
#include <QtEndian>

#include <cfloat>

Q_DECLARE_METATYPE(PictureRecord)
Q_DECLARE_METATYPE(PictureTexts)

class TestPictureFile : public QObject
{
    Q_OBJECT

private slots:
    void textsOfStartRecord();
    void roundTrip_data();
    void roundTrip();
    void pixelsDecode_data();
    void pixelsDecode();
    void refusedTexts_data();
    void refusedTexts();
    void windowTakesWhatFieldsHold_data();
    void windowTakesWhatFieldsHold();
    void refusedFiles_data();
    void refusedFiles();
    void failedSinkStopsTheWriter();
};

void TestPictureFile::textsOfStartRecord()
{
    PictureRecord record = startRecord();
    record.size = 1000;
    record.firstRow = 10;
    record.lastRow = 19;
    const PictureTexts expected{
        {"Software", "Quirlbau " QUIRLBAU_VERSION_TEXT}, {"X0", "-1.4025"}, {"X1", "-1.402"}, {"Y0", "0"}, {"Y1", "5e-04"},
        {"Imax", "300"},
        {"Palette", "#FF0000 #FFFF00 #00FF00 #0000FF #FF00FF #00C0C0 #C04000 #000000"},
        {"Complete", "yes"},
        {"Field X0", "-1,4025"}, {"Field X1", "-1,4020"}, {"Field Y0", "0,0000"}, {"Field Y1", "0,0005"},
        {"Field Imax", "300"}, {"Size", "1000"}, {"Rows", "10:19"}};
    QCOMPARE(pictureTexts(record), expected);
}

namespace {

QByteArray deflated(const QByteArray &plain)
{
    uLongf size = compressBound(uLong(plain.size()));
    QByteArray packed(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef *>(packed.data()), &size, reinterpret_cast<const Bytef *>(plain.constData()),
              uLong(plain.size()), 9);
    packed.truncate(qsizetype(size));
    return packed;
}

// The same file with every tEXt as zTXt and every iTXt compressed, as other
// programs may write them.
QByteArray withCompressedTexts(const QByteArray &png)
{
    QByteArray file = png.left(8);
    for (qsizetype at = 8; at < png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4), data = png.mid(at + 8, length);
        const qsizetype nul = data.indexOf('\0');
        if (type == "tEXt") {
            file += pngChunk("zTXt", data.left(nul + 1) + '\0' + deflated(data.mid(nul + 1)));
        } else if (type == "iTXt") {
            const qsizetype textAt = data.indexOf('\0', data.indexOf('\0', nul + 3) + 1) + 1;
            QByteArray head = data.left(textAt);
            head[nul + 1] = 1;
            file += pngChunk("iTXt", head + deflated(data.mid(textAt)));
        } else {
            file += png.mid(at, length + 12);
        }
        at += length + 12;
    }
    return file;
}

} // namespace

void TestPictureFile::roundTrip_data()
{
    QTest::addColumn<PictureRecord>("record");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("window picture") << startRecord() << false;
    QTest::newRow("window picture, texts compressed") << startRecord() << true;
    PictureRecord odd = startRecord();
    odd.drawing.section.x0 = -0.0;
    odd.drawing.section.x1 = 5e-05;
    odd.drawing.section.y0 = DBL_TRUE_MIN;
    odd.drawing.section.y1 = -DBL_MAX;
    odd.drawing.imax = -32768;
    odd.complete = false;
    odd.drawing.fieldTexts = {u"−1,4025 ✓"_qs, u""_qs, u"Zeile\nzwei"_qs, u"0,1 + 0,2"_qs, u"ÿ"_qs};
    QTest::newRow("odd values, any Unicode") << odd << false;
    QTest::newRow("odd values, texts compressed") << odd << true;
    PictureRecord counted = startRecord();
    counted.counts = PictureCounts{2147483647, -9223372036854775807 - 1};
    QTest::newRow("counters at their limits") << counted << false;
    PictureRecord poster = startRecord();
    poster.drawing.section.x0 = 0.1 + 0.2;
    poster.drawing.section.x1 = 1.0 / 3.0;
    poster.drawing.imax = 32767;
    poster.drawing.palette = {0x00010203, 0x00FFFFFF, 0, 0x00ABCDEF, 0x00FEDCBA, 0x00808080, 0x007F7F7F, 0x00123456};
    poster.size = 65536;
    poster.height = 65536;
    QTest::newRow("whole export") << poster << false;
    poster.firstRow = 65535;
    poster.lastRow = 65535;
    QTest::newRow("last row of an export") << poster << false;
    PictureRecord film = startRecord();
    film.size = 3840;
    film.height = 2160;
    film.cycle = true;
    QTest::newRow("wide export, cycled colours") << film << false;
}

// record → texts → PNG bytes → texts → record, every double bit for bit.
void TestPictureFile::roundTrip()
{
    QFETCH(PictureRecord, record);
    QFETCH(bool, compressed);
    QByteArray bytes = pngBytes(pattern(5, 7, 9), 5, 7, 3, rgbPalette(9), pictureTexts(record));
    if (compressed) {
        bytes = withCompressedTexts(bytes);
        QVERIFY(bytes.contains("zTXt") && !bytes.contains("tEXt"));
    }
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QString whyNot;
    const auto png = readPngTexts(buffer, &whyNot);
    QVERIFY2(png, qPrintable(whyNot));
    QCOMPARE(png->width, 5);
    QCOMPARE(png->height, 7);
    QCOMPARE(png->bitDepth, 8);
    QCOMPARE(png->colourType, 3);
    const auto back = pictureRecordFromTexts(png->texts, &whyNot);
    QVERIFY2(back, qPrintable(whyNot));
    QCOMPARE(back->drawing.fieldTexts, record.drawing.fieldTexts);
    QVERIFY(sameBits(back->drawing.section.x0, record.drawing.section.x0) && sameBits(back->drawing.section.x1, record.drawing.section.x1));
    QVERIFY(sameBits(back->drawing.section.y0, record.drawing.section.y0) && sameBits(back->drawing.section.y1, record.drawing.section.y1));
    QCOMPARE(back->drawing.imax, record.drawing.imax);
    QCOMPARE(back->drawing.palette, record.drawing.palette);
    QCOMPARE(back->complete, record.complete);
    QCOMPARE(back->size, record.size);
    QCOMPARE(back->height, record.height);
    QCOMPARE(back->cycle, record.cycle);
    QCOMPARE(back->firstRow, record.firstRow);
    QCOMPARE(back->lastRow, record.lastRow);
    QCOMPARE(back->counts, record.counts);
}

void TestPictureFile::pixelsDecode_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("colours");
    QTest::addColumn<int>("level");
    QTest::newRow("one pixel") << 1 << 1 << 1 << 1 << 6;
    QTest::newRow("window size, bands of 16") << 400 << 400 << 16 << 9 << 6;
    QTest::newRow("uneven bands, fastest") << 333 << 101 << 7 << 8 << 1;
    QTest::newRow("all at once, stored") << 64 << 50 << 50 << 200 << 0;
    QTest::newRow("wide, 256 colours, best") << 3000 << 5 << 2 << 256 << 9;
}

// Another decoder sees exactly the pixels and the palette written.
void TestPictureFile::pixelsDecode()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, band);
    QFETCH(int, colours);
    QFETCH(int, level);
    const auto indices = pattern(width, height, colours);
    const auto palette = rgbPalette(colours);
    const QImage image = QImage::fromData(pngBytes(indices, width, height, band, palette, {}, level), "PNG");
    QCOMPARE(image.size(), QSize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (image.pixel(x, y) != (0xFF000000u | palette[indices[size_t(y) * size_t(width) + size_t(x)]]))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) differs").arg(x).arg(y)));
}

void TestPictureFile::refusedTexts_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value"); // "<twice>": the key once more; "<none>": removed
    QTest::addColumn<QString>("reason");
    const auto row = [](const char *tag, const char *key, const QByteArray &value, const QString &reason) {
        QTest::newRow(tag) << QByteArray(key) << value << reason;
    };
    const QString notNumber = u"Der Wert von X0 ist keine Zahl."_qs;
    const QString badImax = u"Der Wert von Imax ist keine ganze Zahl zwischen -32768 und 32767."_qs;
    const QString badPalette = u"Der Wert von Palette besteht nicht aus acht Farben „#RRGGBB“."_qs;
    const QString badSize = u"Der Wert von Size liegt nicht zwischen 1 und 65536."_qs;
    const QString badRows = u"Der Wert von Rows nennt keine Zeilen „ERSTE:LETZTE“ innerhalb von Size."_qs;
    const QByteArray sevenColours = "#FF0000 #FFFF00 #00FF00 #0000FF #FF00FF #00C0C0 #C04000";
    row("X0 missing", "X0", "<none>", u"Der Schlüssel „X0“ fehlt."_qs);
    row("Field Imax missing", "Field Imax", "<none>", u"Der Schlüssel „Field Imax“ fehlt."_qs);
    row("Imax twice", "Imax", "<twice>", u"Der Schlüssel „Imax“ kommt mehrfach vor."_qs);
    row("X0 with a comma", "X0", "-1,4", notNumber);
    row("X0 with a blank", "X0", " 1", notNumber);
    row("X0 with a plus", "X0", "+1", notNumber);
    row("X0 empty", "X0", "", notNumber);
    row("X0 infinite", "X0", "inf", notNumber);
    row("X0 beyond double", "X0", "1e999", notNumber);
    row("X0 not a number", "X0", "nan", notNumber);
    row("Y1 trailing text", "Y1", "0.5x", u"Der Wert von Y1 ist keine Zahl."_qs);
    row("Imax 32768", "Imax", "32768", badImax);
    row("Imax fraction", "Imax", "2.5", badImax);
    row("seven colours", "Palette", sevenColours, badPalette);
    row("colour without #", "Palette", sevenColours.mid(1) + " #000000", badPalette);
    row("colour not hex", "Palette", sevenColours + " #00000G", badPalette);
    row("Complete ja", "Complete", "ja", u"Der Wert von Complete ist weder „yes“ noch „no“."_qs);
    row("field not UTF-8", "Field X1", "\xff\xfe", u"Der Wert von Field X1 ist kein gültiges UTF-8."_qs);
    row("Size 0", "Size", "0", badSize);
    row("Size 65537", "Size", "65537", badSize);
    row("Size 3x0", "Size", "3x0", badSize);
    row("Size 3x4x5", "Size", "3x4x5", badSize);
    row("Size x4", "Size", "x4", badSize);
    row("Cycle no", "Cycle", "no", u"Der Wert von Cycle ist nicht „yes“."_qs);
    row("Rows beyond Size", "Rows", "5:100", badRows);
    row("Rows backwards", "Rows", "9:8", badRows);
    row("other software", "Software", "Zeichner 2.0", u"Das Bild stammt nicht von Quirlbau."_qs);
    row("Iterations without Pixels", "Pixels", "<none>", u"Pixels und Iterations stehen nur zusammen."_qs);
    row("Pixels negative", "Pixels", "-1", u"Der Wert von Pixels ist keine ganze Zahl zwischen 0 und 2147483647."_qs);
    row("Iterations fraction", "Iterations", "1.5", u"Der Wert von Iterations ist keine ganze Zahl."_qs);
}

// Texts of an export of 100 rows, colours cycled, with one value spoilt.
void TestPictureFile::refusedTexts()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QString, reason);
    PictureRecord record = startRecord();
    record.size = 100;
    record.height = 100;
    record.firstRow = 0;
    record.lastRow = 9;
    record.cycle = true;
    record.counts = PictureCounts{213444, 16313};
    PictureTexts texts = pictureTexts(record);
    QVERIFY(pictureRecordFromTexts(texts, nullptr));
    const auto at = std::find_if(texts.begin(), texts.end(), [&](const auto &text) { return text.first == key; });
    QVERIFY(at != texts.end());
    if (value == "<none>")
        texts.erase(at);
    else if (value == "<twice>")
        texts.push_back(*at);
    else
        at->second = value;
    QString whyNot;
    QVERIFY(!pictureRecordFromTexts(texts, &whyNot));
    QCOMPARE(whyNot, reason);
}

void TestPictureFile::windowTakesWhatFieldsHold_data()
{
    QTest::addColumn<PictureTexts>("texts");
    QTest::addColumn<bool>("deep");
    QTest::addColumn<qint64>("imaxBeyond"); // 0: the field holds it
    QTest::addColumn<QString>("reason");    // empty: taken
    PictureRecord record = startRecord();
    record.size = 8;
    record.height = 6;
    record.drawing.section = {-0.74364388703715926, -0.74364388703715815, 0.13182590420531164, 0.13182590420531231};
    record.drawing.fieldTexts = {u"?"_qs, u"?"_qs, u"?"_qs, u"?"_qs, u"1000"_qs};
    const PictureTexts deep = deepTexts(record, "1000");
    const auto without = [](PictureTexts texts, const QByteArray &keyword) {
        texts.erase(std::find_if(texts.begin(), texts.end(), [&](const auto &text) { return text.first == keyword; }));
        return texts;
    };
    const QString badImax = u"Der Wert von Imax ist keine ganze Zahl zwischen -32768 und 32767."_qs;
    QTest::newRow("deep view") << deep << true << qint64(0) << QString();
    QTest::newRow("deep view, Imax 100000") << withValue(deep, "Imax", "100000") << true << qint64(100000) << QString();
    QTest::newRow("window picture, Imax 32768")
        << withValue(pictureTexts(startRecord()), "Imax", "32768") << false << qint64(32768) << QString();
    QTest::newRow("export, Imax 2^31 - 1")
        << withValue(pictureTexts(record), "Imax", "2147483647") << false << qint64(2147483647) << QString();
    QTest::newRow("Imax 2^31") << withValue(deep, "Imax", "2147483648") << false << qint64(0) << badImax;
    QTest::newRow("deep view without Size") << without(deep, "Size") << false << qint64(0)
                                            << u"Der Schlüssel „Size“ fehlt."_qs;
    QTest::newRow("deep view without Width") << without(deep, "Width") << false << qint64(0)
                                             << u"Der Schlüssel „Width“ fehlt."_qs;
    PictureTexts twice = deep;
    twice.emplace_back("Re", "0");
    QTest::newRow("Re twice") << twice << false << qint64(0)
                              << u"Der Schlüssel „Re“ kommt mehrfach vor."_qs;
}

// The window takes a deep view and an Imax above its field's range: the
// section stays the recorded doubles, the fields show what they can hold
// of them, and the Imax field agrees with the Imax the window runs.
void TestPictureFile::windowTakesWhatFieldsHold()
{
    QFETCH(PictureTexts, texts);
    QFETCH(bool, deep);
    QFETCH(qint64, imaxBeyond);
    QFETCH(QString, reason);
    QString whyNot;
    const std::optional<WindowRecord> found = windowRecordFromTexts(texts, &whyNot);
    QCOMPARE(whyNot, reason);
    QCOMPARE(found.has_value(), reason.isEmpty());
    if (!found)
        return;
    QCOMPARE(found->deepView, deep);
    QCOMPARE(found->imaxBeyondField.value_or(0), imaxBeyond);
    const Drawing &drawing = found->record.drawing;
    QCOMPARE(NumberText::toImax(drawing.fieldTexts[4], QLatin1Char(',')), std::optional(drawing.imax));
    QCOMPARE(qint64(drawing.imax), imaxBeyond ? qint64(ImaxFieldMax) : valueOf(texts, "Imax").toLongLong());
    const double edges[4] = {drawing.section.x0, drawing.section.x1, drawing.section.y0, drawing.section.y1};
    const char *const keys[4] = {"X0", "X1", "Y0", "Y1"};
    for (int k = 0; k < 4; ++k) {
        QVERIFY(sameBits(edges[k], valueOf(texts, keys[k]).toDouble()));
        const QString recorded = QString::fromUtf8(valueOf(texts, QByteArray("Field ") + keys[k]));
        QCOMPARE(drawing.fieldTexts[size_t(k)], deep ? NumberText::fromNumber(edges[k], QLatin1Char(',')) : recorded);
    }
}

void TestPictureFile::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = pngBytes(pattern(4, 4, 3), 4, 4, 4, rgbPalette(3), pictureTexts(startRecord()));
    const int firstText = int(good.indexOf("tEXt")) - 4;
    QByteArray flipped = good;
    flipped[firstText + 10] = char(flipped[firstText + 10] ^ 1);
    QByteArray huge = good;
    huge.replace(firstText, 4, QByteArray("\x7f\xff\xff\xff", 4));
    QByteArray noPixels = good.left(firstText) + good.right(12);
    QByteArray badHeader = good;
    badHeader[8 + 8 + 8] = 3; // bit depth 3
    fixCrc(badHeader, 8);
    QTest::newRow("text file") << QByteArray("X0=1\n") << u"Die Datei ist kein PNG-Bild."_qs;
    QTest::newRow("cut in the texts") << good.left(firstText + 20) << u"Die Datei endet vor den Bilddaten."_qs;
    QTest::newRow("bit flipped in a text") << flipped << u"Die Prüfsumme des Abschnitts „tEXt“ stimmt nicht."_qs;
    QTest::newRow("chunk of 2 GB") << huge << u"Ein Abschnitt der Datei ist 2147483647 Bytes lang, zu lang."_qs;
    QTest::newRow("IEND before pixels") << noPixels << u"Die Datei enthält keine Bilddaten."_qs;
    QTest::newRow("bit depth 3") << badHeader << u"Der Kopf des PNG-Bildes ist ungültig."_qs;
    // Bounded before the pixels, whatever the CRCs say.
    QByteArray many = good.left(firstText), large = many;
    for (int k = 0; k < 64; ++k)
        many += pngChunk("quIr", "x");
    large += pngChunk("quIr", QByteArray(600000, 'x')) + pngChunk("quIr", QByteArray(600000, 'x'));
    QTest::newRow("65 chunks before the pixels")
        << many + good.mid(firstText) << u"Die Datei hat zu viele Abschnitte vor den Bilddaten."_qs;
    QTest::newRow("1.2 MB of chunks before the pixels")
        << large + good.mid(firstText)
        << u"Die Abschnitte vor den Bilddaten sind zusammen länger als 1048576 Bytes."_qs;
}

void TestPictureFile::refusedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QString whyNot;
    QVERIFY(!readPngTexts(buffer, &whyNot));
    QCOMPARE(whyNot, reason);
}

// A sink that fails ends the writing at once, and every later call fails.
void TestPictureFile::failedSinkStopsTheWriter()
{
    qsizetype written = 0;
    int calls = 0;
    const auto sink = [&](const char *, std::size_t size) {
        ++calls;
        written += qsizetype(size);
        return written < 200;
    };
    PngBandWriter writer(sink, 400, 400, rgbPalette(9), pictureTexts(startRecord()), 0);
    const auto indices = pattern(400, 400, 9);
    QVERIFY(!writer.writeRows(indices.data(), 400));
    QCOMPARE(writer.error(), u"Die Daten ließen sich nicht schreiben."_qs);
    const int callsAtFailure = calls;
    QVERIFY(!writer.writeRows(indices.data(), 1));
    QVERIFY(!writer.finish());
    QCOMPARE(calls, callsAtFailure);
}

QTEST_GUILESS_MAIN(TestPictureFile)
#include "tst_picturefile.moc"
