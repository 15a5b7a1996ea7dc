#include "childprocess.h"
#include "export/bandcomputer.h"
#include "export/posterrender.h"
#include "exportrun.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>

// `quirlbau --render` as a user runs it: the real program, without a display.

Q_DECLARE_METATYPE(RunSection)

static bool operator==(const RunSection &a, const RunSection &b)
{
    return a.x0 == b.x0 && a.x1 == b.x1 && a.y0 == b.y0 && a.y1 == b.y1 && a.imax == b.imax;
}

class TestExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pixelCentres_data();
    void pixelCentres();
    void bandsInAnyOrder_data();
    void bandsInAnyOrder();
    void defaultIsWindowPicture_data();
    void defaultIsWindowPicture();
    void bandsJoinToWhole();
    void fromSavedPicture();
    void shapes_data();
    void shapes();
    void squareAsBefore();
    void cycleColours();
    void deepSections_data();
    void deepSections();
    void helpAndVersion();
    void badArguments_data();
    void badArguments();
    void writeFailures_data();
    void writeFailures();
    void interrupted_data();
    void interrupted();

private:
    // Runs the program with no display at all; `shell` wraps it ("$@" is the program and its arguments).
    Outcome quirlbau(const QStringList &arguments, const QString &shell = {});
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesLeft() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestExport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

Outcome TestExport::quirlbau(const QStringList &arguments, const QString &shell)
{
    return runQuirlbau(m_dir->path(), arguments, shell);
}

QStringList TestExport::filesLeft() const
{
    return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void TestExport::pixelCentres_data()
{
    QTest::addColumn<RunSection>("section");
    QTest::addColumn<int>("size");
    const RunSection whole{-2, 2, -2, 2, 300};
    const RunSection start = StartSection;
    const RunSection mirrored{0.5, -1.5, 1.25, -0.75, 1000};
    QTest::newRow("whole set, 1 pixel") << whole << 1;
    QTest::newRow("whole set, 2 pixels") << whole << 2;
    QTest::newRow("whole set, 3 pixels") << whole << 3;
    QTest::newRow("start section, 7 pixels") << start << 7;
    QTest::newRow("start section, 400 pixels") << start << 400;
    QTest::newRow("mirrored, 401 pixels") << mirrored << 401;
    QTest::newRow("mirrored, 1000 pixels") << mirrored << 1000;
}

// The file shows the colours of punkt_iteration's counts at each pixel centre.
void TestExport::pixelCentres()
{
    QFETCH(RunSection, section);
    QFETCH(int, size);
    const QString target = path(u"poster.png"_qs);
    const Outcome run = quirlbau(QStringList{u"--render"_qs, target, u"--size=%1"_qs.arg(size)} + sectionOptions(section));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.errors, QByteArray()); // no progress line: stderr is no terminal
    const QImage image = pixelsOf(target);
    QCOMPARE(image.size(), QSize(size, size));
    const int step = std::max(1, size / 23);
    for (int p = 0; p < size; p += step) {
        const double cx = centre(section.x0, section.x1, p, size);
        for (int q = 0; q < size; ++q) {
            const std::int16_t expected =
                punkt_iteration(cx, centre(section.y0, section.y1, q, size), EscapeBound, section.imax);
            QCOMPARE(image.pixel(p, q), rgbOf(StandardColors[size_t(swatchForCount(expected))]));
        }
    }
}

void TestExport::bandsInAnyOrder_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("bandRows");
    QTest::newRow("1 thread, bands of 1 row") << 1 << 1;
    QTest::newRow("2 threads, bands of 3 rows") << 2 << 3;
    QTest::newRow("5 threads, bands of 2 rows") << 5 << 2;
    QTest::newRow("3 threads, one band") << 3 << 1000;
}

// However the workers share and finish the bands, the writer gets the rows
// in order: the file is byte for byte the one of a single band on one thread.
void TestExport::bandsInAnyOrder()
{
    QFETCH(int, threads);
    QFETCH(int, bandRows);
    const PosterFrame frame{{{-1.5, 0.5, 1.0, -1.0}, 200}, 61};
    const auto render = [&](int workers, std::size_t bandBytes) {
        QByteArray bytes;
        const auto sink = [&](const char *data, std::size_t size) { bytes.append(data, qsizetype(size)); return true; };
        PngBandWriter writer(sink, 61, 50, {0xFF0000, 0xFFFF00, 0x00FF00, 0x0000FF, 0xFF00FF, 0x00C0C0, 0xC04000, 0},
                             {}, 1);
        PosterRender poster(frame, 5, 54, bandBytes);
        poster.setThreads(workers);
        return poster.run(writer) && writer.finish() ? bytes : QByteArray();
    };
    const QByteArray single = render(1, std::size_t(61) * 50);
    QVERIFY(!single.isEmpty());
    QCOMPARE(render(threads, std::size_t(61) * std::size_t(bandRows)), single);
}

void TestExport::defaultIsWindowPicture_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<RunSection>("section");
    QTest::newRow("start fields") << QStringList{} << StartSection;
    QTest::newRow("comma and full stop") << QStringList{u"--x0=-2,0"_qs, u"--x1=1.0"_qs, u"--y0=1,5"_qs,
                                                        u"--y1=-1.5"_qs, u"--imax=60,4"_qs}
                                         << RunSection{-2, 1, 1.5, -1.5, 60};
}

// Without --size the file is the window's picture after a complete run.
void TestExport::defaultIsWindowPicture()
{
    QFETCH(QStringList, options);
    QFETCH(RunSection, section);
    const QString target = path(u"window.png"_qs);
    const Outcome run = quirlbau(QStringList{u"--render=%1"_qs.arg(target)} + options);
    QCOMPARE(run.status, 0);
    const QImage expected = expectedPicture(
        kernelCounts(section));
    QCOMPARE(pixelsOf(target), expected.convertToFormat(QImage::Format_RGB32));
    const std::optional<PictureRecord> record = recordOf(target);
    QVERIFY(record && record->complete);
    QCOMPARE(record->size, 0);
    QCOMPARE(record->drawing.imax, section.imax);
}

// Bands of a poster, joined top to bottom, are the whole poster.
void TestExport::bandsJoinToWhole()
{
    const QStringList common{u"--size=37"_qs, u"--x0=-2"_qs, u"--x1=0.5"_qs, u"--y0=-1.25"_qs, u"--y1=1.25"_qs};
    QCOMPARE(quirlbau(QStringList{u"--render=whole.png"_qs} + common).status, 0);
    const QImage whole = pixelsOf(path(u"whole.png"_qs));
    int top = 0;
    for (const QString &rows : {u"0:9"_qs, u"10:10"_qs, u"11:36"_qs}) {
        QCOMPARE(quirlbau(QStringList{u"--render=band.png"_qs, u"--rows="_qs + rows} + common).status, 0);
        const QImage band = pixelsOf(path(u"band.png"_qs));
        QCOMPARE(band, whole.copy(0, top, 37, band.height()));
        const std::optional<PictureRecord> record = recordOf(path(u"band.png"_qs));
        QVERIFY(record);
        QCOMPARE(u"%1:%2"_qs.arg(record->firstRow).arg(record->lastRow), rows);
        QCOMPARE(record->size, 37);
        top += band.height();
    }
    QCOMPARE(top, 37);
}

// --from brings section, Imax and palette; an explicit option wins.
void TestExport::fromSavedPicture()
{
    PictureRecord saved;
    saved.drawing.fieldTexts = {u"-0,75"_qs, u"0,25"_qs, u"0,5"_qs, u"-0,5"_qs, u"80"_qs};
    saved.drawing.section.x0 = -0.75, saved.drawing.section.x1 = 0.25, saved.drawing.section.y0 = 0.5, saved.drawing.section.y1 = -0.5, saved.drawing.imax = 80;
    saved.drawing.palette = {0x00112233, 0x00445566, 0x00778899, 0x00AABBCC, 0x00DDEEFF, 0x00102030, 0x00405060, 0x00708090};
    writeFile(path(u"saved.png"_qs), pngBytes(1, pictureTexts(saved)));
    const Outcome run = quirlbau({u"--render=out.png"_qs, u"--from=saved.png"_qs, u"--imax=20"_qs, u"--size=9"_qs});
    QCOMPARE(run.status, 0);
    const std::optional<PictureRecord> record = recordOf(path(u"out.png"_qs));
    QVERIFY(record);
    const std::array<QString, 5> fields{u"-0,75"_qs, u"0,25"_qs, u"0,5"_qs, u"-0,5"_qs, u"20"_qs};
    QCOMPARE(record->drawing.fieldTexts, fields);
    QCOMPARE(record->drawing.palette, saved.drawing.palette);
    QCOMPARE(record->drawing.imax, std::int16_t(20));
    const QImage image = pixelsOf(path(u"out.png"_qs));
    const std::int16_t count = punkt_iteration(centre(-0.75, 0.25, 4, 9), centre(0.5, -0.5, 2, 9), EscapeBound, 20);
    QCOMPARE(image.pixel(4, 2), rgbOf(saved.drawing.palette[size_t(swatchForCount(count))]));
}

void TestExport::shapes_data()
{
    QTest::addColumn<RunSection>("given");
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("stretch");
    QTest::addColumn<RunSection>("drawn");
    QTest::newRow("square at 5x5") << RunSection{-2, 2, -2, 2, 50} << u"5x5"_qs << false << RunSection{-2, 2, -2, 2, 50};
    QTest::newRow("wide") << RunSection{-1, 1, -1, 1, 50} << u"80x40"_qs << false << RunSection{-2, 2, -1, 1, 50};
    QTest::newRow("tall") << RunSection{-1, 1, -1, 1, 50} << u"40X80"_qs << false << RunSection{-1, 1, -2, 2, 50};
    QTest::newRow("reversed corners") << RunSection{1, -1, 1, -1, 50} << u"80x40"_qs << false
                                      << RunSection{2, -2, 1, -1, 50};
    QTest::newRow("tall section, wide picture") << RunSection{0, 1, 0, 4, 50} << u"60x30"_qs << false
                                                << RunSection{-3.5, 4.5, 0, 4, 50};
    QTest::newRow("stretch") << RunSection{-1, 1, -1, 1, 50} << u"80x40"_qs << true << RunSection{-1, 1, -1, 1, 50};
}

// The section is widened about its centre to square pixels (or stretched),
// the file records what was drawn, and --from with the same size draws it
// again byte for byte.
void TestExport::shapes()
{
    QFETCH(RunSection, given);
    QFETCH(QString, size);
    QFETCH(bool, stretch);
    QFETCH(RunSection, drawn);
    const QStringList options = QStringList{u"--size="_qs + size} + (stretch ? QStringList{u"--stretch"_qs} : QStringList{});
    QCOMPARE(quirlbau(QStringList{u"--render=a.png"_qs} + options + sectionOptions(given)).status, 0);
    const std::optional<PictureRecord> record = recordOf(path(u"a.png"_qs));
    QVERIFY(record);
    QCOMPARE((RunSection{record->drawing.section, record->drawing.imax}), drawn);
    checkPixels(path(u"a.png"_qs));
    QCOMPARE(quirlbau(QStringList{u"--render=b.png"_qs, u"--from=a.png"_qs} + options).status, 0);
    QCOMPARE(contentsOf(path(u"b.png"_qs)), contentsOf(path(u"a.png"_qs)));
}

// A square section at --size=N and at NxN: the same file, with the texts of
// a square export.
void TestExport::squareAsBefore()
{
    const QStringList section = sectionOptions(StartSection);
    QCOMPARE(quirlbau(QStringList{u"--render=n.png"_qs, u"--size=33"_qs} + section).status, 0);
    QCOMPARE(quirlbau(QStringList{u"--render=nxn.png"_qs, u"--size=33x33"_qs} + section).status, 0);
    QCOMPARE(contentsOf(path(u"nxn.png"_qs)), contentsOf(path(u"n.png"_qs)));
    QFile file(path(u"n.png"_qs));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString whyNot;
    const std::optional<PngHeaderAndTexts> header = readPngTexts(file, &whyNot);
    QVERIFY(header);
    QVERIFY(std::find(header->texts.begin(), header->texts.end(), std::pair<QByteArray, QByteArray>("Size", "33"))
            != header->texts.end());
    const RunSection s = StartSection;
    const std::optional<PictureRecord> record = recordOf(path(u"n.png"_qs));
    QVERIFY(record && !record->cycle);
    QCOMPARE((RunSection{record->drawing.section, record->drawing.imax}), s);
}

// --cycle: the seahorse valley at Imax 1000, where most counts pass 400; the
// texts record it and --from carries it over.
void TestExport::cycleColours()
{
    QCOMPARE(quirlbau(QStringList{u"--render=c.png"_qs, u"--size=64x36"_qs, u"--cycle"_qs} + sectionOptions(Seahorse))
                 .status, 0);
    const std::optional<PictureRecord> record = recordOf(path(u"c.png"_qs));
    QVERIFY(record && record->cycle);
    checkPixels(path(u"c.png"_qs));
    QCOMPARE(quirlbau({u"--render=d.png"_qs, u"--from=c.png"_qs, u"--size=64x36"_qs}).status, 0);
    QCOMPARE(contentsOf(path(u"d.png"_qs)), contentsOf(path(u"c.png"_qs)));
    const QImage image = pixelsOf(path(u"c.png"_qs));
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() >= 6); // without --cycle: nearly all F6
}

// The texts Re, Im and Width of a picture, joined by blanks (empty: none).
static QByteArray deepTexts(const QString &file)
{
    QFile png(file);
    QString whyNot;
    if (!png.open(QIODevice::ReadOnly))
        return "unreadable";
    const std::optional<PngHeaderAndTexts> header = readPngTexts(png, &whyNot);
    QByteArrayList values;
    for (const QByteArray key : {"Re", "Im", "Width"}) {
        for (const auto &[name, value] : header ? header->texts : PictureTexts{}) {
            if (name == key)
                values += value;
        }
    }
    return values.join(' ');
}

void TestExport::deepSections_data()
{
    QTest::addColumn<QStringList>("section");
    QTest::addColumn<QStringList>("same");
    QTest::addColumn<QByteArray>("view");
    const QString zeros(49, u'0');
    // A tall section 2E-50 square about i, in texts of 52 digits: at 64 × 32
    // its height decides, and the view is 4E-50 wide.
    QTest::newRow("deep, long texts, tall")
        << QStringList{u"--x0=-0,"_qs + zeros + u'1', u"--x1=0,"_qs + zeros + u'1', u"--y0=0,"_qs + QString(50, u'9'),
                       u"--y1=1,"_qs + zeros + u'1', u"--size=64x32"_qs}
        << QStringList{u"--re=0"_qs, u"--im=1"_qs, u"--width=4E-50"_qs, u"--size=64x32"_qs} << QByteArray("0 1 4E-50");
    QTest::newRow("deep, wide, 16:9")
        << QStringList{u"--x0=-1E-20"_qs, u"--x1=1E-20"_qs, u"--y0=0,9999999999999999999999"_qs,
                       u"--y1=1,0000000000000000000001"_qs, u"--size=64x36"_qs}
        << QStringList{u"--re=0"_qs, u"--im=1"_qs, u"--width=2E-20"_qs, u"--size=64x36"_qs}
        << QByteArray("0 1 2E-20");
    // Doubles hold this one: its long texts read as the short ones always did.
    QTest::newRow("shallow, long texts")
        << QStringList{u"--x0=-1,40250000000000000000000000000000000000000001"_qs, u"--x1=-1,402"_qs,
                       u"--y0=-0,000000000000000000000000000000000000000000001"_qs, u"--y1=0,0005"_qs,
                       u"--size=64x36"_qs}
        << QStringList{u"--x0=-1,4025"_qs, u"--x1=-1,402"_qs, u"--y0=0"_qs, u"--y1=0,0005"_qs, u"--size=64x36"_qs}
        << QByteArray();
}

// A section given by --x0 … --y1 texts of any length: where doubles cannot
// hold it, it is the view of its exact centre and widened width, pixel for
// pixel and text for text; where they can, it is drawn as it always was.
void TestExport::deepSections()
{
    QFETCH(QStringList, section);
    QFETCH(QStringList, same);
    QFETCH(QByteArray, view);
    const QStringList common{u"--imax=3000"_qs, u"--cycle"_qs, u"--quiet"_qs};
    QCOMPARE(quirlbau(QStringList{u"--render=section.png"_qs} + section + common).status, 0);
    QCOMPARE(quirlbau(QStringList{u"--render=same.png"_qs} + same + common).status, 0);
    const QImage image = pixelsOf(path(u"section.png"_qs));
    QCOMPARE(image, pixelsOf(path(u"same.png"_qs)));
    QCOMPARE(deepTexts(path(u"section.png"_qs)), view);
    QCOMPARE(deepTexts(path(u"same.png"_qs)), view);
    QSet<QRgb> colours;
    for (int q = 0; q < image.height(); ++q)
        for (int p = 0; p < image.width(); ++p)
            colours.insert(image.pixel(p, q));
    QVERIFY(colours.size() >= 3);
    if (view.isEmpty())
        checkPixels(path(u"section.png"_qs));
}

// Both answer without a display and without --render.
void TestExport::helpAndVersion()
{
    const Outcome version = quirlbau({u"--version"_qs});
    QCOMPARE(version.status, 0);
    QCOMPARE(version.output, QByteArray("quirlbau " QUIRLBAU_VERSION_TEXT "\n"));
    const Outcome help = quirlbau({u"--help"_qs});
    QCOMPARE(help.status, 0);
    for (const char *option : {"--render <DATEI>", "--size <BxH>", "--stretch", "--cycle", "--video <DATEI>",
                               "--seconds <S>", "--fps <N>", "--frames <ERSTES:LETZTES>", "--start <BILD>",
                               "--rows <ERSTE:LETZTE>", "--from <BILD>", "--quiet"})
        QVERIFY2(help.output.contains(option), option);
    QCOMPARE(filesLeft(), QStringList());
}

void TestExport::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    const auto row = [](const char *tag, const QStringList &options, const QString &line) {
        QTest::newRow(tag) << QStringList{u"--render=out.png"_qs} + options << u"quirlbau: "_qs + line;
    };
    row("size 0", {u"--size=0"_qs}, u"--size: „0“ liegt nicht zwischen 1 und 65536."_qs);
    row("size 65537", {u"--size=65537"_qs}, u"--size: „65537“ liegt nicht zwischen 1 und 65536."_qs);
    row("size not whole", {u"--size=2,5"_qs}, u"--size: „2,5“ liegt nicht zwischen 1 und 65536."_qs);
    row("x0 not a number", {u"--x0=1,2,3"_qs}, u"--x0: „1,2,3“ ist keine Zahl."_qs);
    row("y1 beyond double", {u"--y1=1E999"_qs}, u"--y1: „1E999“ ist keine Zahl."_qs);
    row("width beyond double range", {u"--x0=-1E308"_qs, u"--x1=1E308"_qs},
        u"--x1: Die Breite des Ausschnitts liegt außerhalb des Zahlenbereichs."_qs);
    row("imax 40000", {u"--imax=40000"_qs}, u"--imax: „40000“ ist keine Zahl zwischen -32768 und 32767."_qs);
    row("size 3x", {u"--size=3x"_qs}, u"--size: „3x“ liegt nicht zwischen 1 und 65536."_qs);
    row("size 0x5", {u"--size=0x5"_qs}, u"--size: „0x5“ liegt nicht zwischen 1 und 65536."_qs);
    row("size 4x65537", {u"--size=4x65537"_qs}, u"--size: „4x65537“ liegt nicht zwischen 1 und 65536."_qs);
    row("stretch without size", {u"--stretch"_qs}, u"--stretch: nur zusammen mit --size."_qs);
    row("rows without size", {u"--rows=0:1"_qs}, u"--rows: nur zusammen mit --size."_qs);
    row("rows past the height", {u"--size=10x4"_qs, u"--rows=0:4"_qs},
        u"--rows: „0:4“ liegt nicht innerhalb von 0:3."_qs);
    row("rows not a range", {u"--size=10"_qs, u"--rows=3"_qs}, u"--rows: „3“ hat nicht die Form ERSTE:LETZTE."_qs);
    row("rows past the end", {u"--size=10"_qs, u"--rows=5:10"_qs},
        u"--rows: „5:10“ liegt nicht innerhalb von 0:9."_qs);
    row("rows backwards", {u"--size=10"_qs, u"--rows=6:5"_qs}, u"--rows: „6:5“ liegt nicht innerhalb von 0:9."_qs);
    row("from missing file", {u"--from=nichts.png"_qs},
        u"--from: „nichts.png“: Die Datei oder das Verzeichnis konnte nicht gefunden werden."_qs);
    row("render without name", {u"--render="_qs}, u"--render: kein Dateiname."_qs);
    row("unknown option", {u"--sise=5"_qs}, u"Unbekannte Option 'sise'."_qs);
    row("stray argument", {u"bild.png"_qs}, u"„bild.png“: unerwartetes Argument."_qs);
    const QStringList deep{u"--x0=-1E-20"_qs, u"--x1=1E-20"_qs, u"--y0=1"_qs, u"--y1=1,00000000000000000001"_qs};
    row("deep section mirrored", {u"--x0=1E-20"_qs, u"--x1=-1E-20"_qs, u"--y0=1"_qs, u"--y1=1,00000000000000000001"_qs,
                                  u"--size=40"_qs},
        u"--x1: Ein gespiegelter Ausschnitt, der für doppelte Genauigkeit zu tief ist, lässt sich nicht zeichnen."_qs);
    row("deep section stretched", deep + QStringList{u"--size=40"_qs, u"--stretch"_qs},
        u"--stretch: nicht bei einem Ausschnitt, der für doppelte Genauigkeit zu tief ist."_qs);
    row("deep section without size", deep,
        u"--size: fehlt; ein Ausschnitt, der für doppelte Genauigkeit zu tief ist, braucht B × H."_qs);
}

// Refused with exit status 2 and one line, and no file written.
void TestExport::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    const Outcome run = quirlbau(arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(QString::fromUtf8(run.errors), line + u'\n');
    QCOMPARE(filesLeft(), QStringList());
}

void TestExport::writeFailures_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    // A file-size limit, with SIGXFSZ ignored as a batch system sets it.
    QTest::newRow("file size limit") << u"ulimit -f 8; trap '' XFSZ; exec \"$@\""_qs << u"limited.png"_qs
                                     << u"Die Datei wird zu groß."_qs;
    QTest::newRow("under /proc") << QString() << u"/proc/self/bild.png"_qs << u"Keine Berechtigung."_qs;
    QTest::newRow("missing folder") << QString() << u"fehlt/bild.png"_qs << u"Der Ordner existiert nicht."_qs;
}

// One line naming the file and the reason, exit 1, nothing left behind,
// an existing target untouched.
void TestExport::writeFailures()
{
    QFETCH(QString, shell);
    QFETCH(QString, target);
    QFETCH(QString, reason);
    writeFile(path(u"limited.png"_qs), "old");
    const Outcome run = quirlbau({u"--render"_qs, target, u"--size=3000"_qs, u"--quiet"_qs}, shell);
    QCOMPARE(run.status, 1);
    QCOMPARE(QString::fromUtf8(run.errors),
             u"quirlbau: „%1“ lässt sich nicht schreiben: %2\n"_qs.arg(target, reason));
    QCOMPARE(filesLeft(), QStringList{u"limited.png"_qs});
    QCOMPARE(contentsOf(path(u"limited.png"_qs)), QByteArray("old"));
}

void TestExport::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl+C") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

// Stopped while writing: the old file stays as it was, no temporary file.
// The section lies round the small copy of the set on the real axis, away
// from the cardioid and the disc, where points run to Imax 32767 and the
// cycle check finds little: no machine finishes it before the signal.
void TestExport::interrupted()
{
#if defined(__SANITIZE_THREAD__)
    // The thread checker holds a signal back until its next intercepted
    // call and now and then loses it while the writer waits; the other
    // builds run this case.
    QSKIP("The thread checker delays signals");
#endif
    QFETCH(int, signal);
    writeFile(path(u"poster.png"_qs), "old");
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(QUIRLBAU_PROGRAM),
                  {u"--render=poster.png"_qs, u"--size=6000"_qs, u"--imax=32767"_qs, u"--x0=-1.77"_qs,
                   u"--x1=-1.74"_qs, u"--y0=0.015"_qs, u"--y1=-0.015"_qs});
    QVERIFY(process.waitForStarted());
    QVERIFY(waitUntilWriting(process, m_dir->path(), 30000));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 128 + signal);
    QCOMPARE(filesLeft(), QStringList{u"poster.png"_qs});
    QCOMPARE(contentsOf(path(u"poster.png"_qs)), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
