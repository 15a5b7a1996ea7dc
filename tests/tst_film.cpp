#include "core/filmpath.h"
#include "core/squarepixels.h"
#include "childprocess.h"
#include "exportrun.h"

#include <QDir>
#include <QTemporaryDir>

#include <csignal>

// `quirlbau --video` as a user runs it: films into a folder of PNG frames
// and through ffmpeg into an MP4, compared with stills and with each other.

namespace {

// A short film into the seahorse valley, small enough to make many times.
const QStringList Film{u"--size=96x54"_qs, u"--seconds=1"_qs, u"--fps=12"_qs, u"--cycle"_qs,
                       u"--x0=-0.7436444"_qs, u"--x1=-0.7436434"_qs, u"--y0=0.1318254"_qs, u"--y1=0.1318264"_qs,
                       u"--imax=600"_qs};
constexpr int FilmFrames = 12;

QString frameName(int k)
{
    return u"frame-%1.png"_qs.arg(k, 6, 10, QLatin1Char('0'));
}

// The value of one text chunk of a PNG.
QByteArray textOf(const QString &file, const QByteArray &key)
{
    QFile png(file);
    QString whyNot;
    if (!png.open(QIODevice::ReadOnly))
        return {};
    const std::optional<PngHeaderAndTexts> header = readPngTexts(png, &whyNot);
    if (!header)
        return {};
    for (const auto &[keyword, value] : header->texts)
        if (keyword == key)
            return value;
    return {};
}

} // namespace

class TestFilm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void framesAreStills();
    void partsJoinToWhole();
    void deepFramesAreTheirStills();
    void videoHoldsTheFrames();
    void videoPartsJoin();
    void badArguments_data();
    void badArguments();
    void encoderFailures_data();
    void encoderFailures();
    void interrupted_data();
    void interrupted();

private:
    Outcome quirlbau(const QStringList &arguments, const QString &shell = {})
    {
        return runQuirlbau(m_dir->path(), arguments, shell);
    }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList entries(const QString &folder = {}) const
    {
        return QDir(path(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    // ffmpeg run in the test's folder; its exit status.
    int ffmpeg(const QStringList &arguments);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFilm::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

int TestFilm::ffmpeg(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(u"ffmpeg"_qs, QStringList{u"-hide_banner"_qs, u"-loglevel"_qs, u"error"_qs, u"-y"_qs} + arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Every frame is the still of its view: its pixels are the kernel's at the
// pixel centres, --render --from the frame draws it again pixel for pixel,
// and the first and last frames show the start and end views.
void TestFilm::framesAreStills()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"frames"_qs));
    QCOMPARE(quirlbau(QStringList{u"--video=frames"_qs} + Film).status, 0);
    QCOMPARE(entries(u"frames"_qs).size(), FilmFrames);
    for (int k : {0, 5, FilmFrames - 1}) {
        const QString frame = path(u"frames/"_qs + frameName(k));
        QCOMPARE(textOf(frame, "Frame"), QByteArray::number(k));
        checkPixels(frame);
        const Outcome still = quirlbau({u"--render=still.png"_qs, u"--from="_qs + frame, u"--size=96x54"_qs});
        QCOMPARE(still.status, 0);
        QCOMPARE(pixelsOf(path(u"still.png"_qs)), pixelsOf(frame));
    }
    const std::optional<PictureRecord> first = recordOf(path(u"frames/"_qs + frameName(0)));
    const std::optional<PictureRecord> last = recordOf(path(u"frames/"_qs + frameName(FilmFrames - 1)));
    QVERIFY(first && last && first->cycle);
    const Section whole = squarePixels({-2, 2, -2, 2}, 96, 54);
    const Section end = squarePixels({Seahorse.x0, Seahorse.x1, Seahorse.y0, Seahorse.y1}, 96, 54);
    QVERIFY(first->drawing.section == whole);
    QVERIFY(last->drawing.section == end);
}

// Parts made with --frames are the whole film's frames byte for byte.
void TestFilm::partsJoinToWhole()
{
    for (const char *folder : {"whole", "parts"})
        QVERIFY(QDir(m_dir->path()).mkdir(QString::fromLatin1(folder)));
    QCOMPARE(quirlbau(QStringList{u"--video=whole"_qs} + Film).status, 0);
    for (const QString &part : {u"0:4"_qs, u"5:5"_qs, u"6:11"_qs})
        QCOMPARE(quirlbau(QStringList{u"--video=parts"_qs, u"--frames="_qs + part} + Film).status, 0);
    QCOMPARE(entries(u"parts"_qs), entries(u"whole"_qs));
    for (int k = 0; k < FilmFrames; ++k)
        QCOMPARE(contentsOf(path(u"parts/"_qs + frameName(k))), contentsOf(path(u"whole/"_qs + frameName(k))));
}

// A film from the whole set down to i at 1E-20, whose last frames are deep.
// Each sampled frame is the still of the view it records: a shallow one
// that of its section (the kernel's pixels at its centres; --from draws it
// again), a deep one that of its centre and width (--render --re --im
// --width of its texts draws it again, and so does --from). The last frame
// records the end view's texts unchanged, and a film back out of a deep
// frame (--start) begins with that frame's pixels ...
void TestFilm::deepFramesAreTheirStills()
{
    for (const char *folder : {"frames", "back", "into"})
        QVERIFY(QDir(m_dir->path()).mkdir(QString::fromLatin1(folder)));
    const QStringList common{u"--size=64x36"_qs, u"--imax=2000"_qs, u"--cycle"_qs, u"--quiet"_qs};
    const QStringList film{u"--seconds=1"_qs, u"--fps=8"_qs};
    QCOMPARE(quirlbau(QStringList{u"--video=frames"_qs, u"--re=0"_qs, u"--im=1"_qs, u"--width=1E-20"_qs} + film
                      + common)
                 .status,
             0);
    QCOMPARE(entries(u"frames"_qs).size(), 8);
    int deep = 0;
    for (int k : {0, 3, 5, 6, 7}) {
        const QString frame = path(u"frames/"_qs + frameName(k));
        QList<QStringList> stills{{u"--from="_qs + frame, u"--size=64x36"_qs}};
        const QByteArray re = textOf(frame, "Re");
        if (re.isEmpty()) {
            checkPixels(frame);
        } else {
            ++deep;
            stills.append(QStringList{u"--re="_qs + QString::fromUtf8(re),
                                      u"--im="_qs + QString::fromUtf8(textOf(frame, "Im")),
                                      u"--width="_qs + QString::fromUtf8(textOf(frame, "Width"))}
                          + common);
        }
        for (const QStringList &still : stills) {
            QCOMPARE(quirlbau(QStringList{u"--render=still.png"_qs} + still).status, 0);
            QCOMPARE(pixelsOf(path(u"still.png"_qs)), pixelsOf(frame));
        }
    }
    QCOMPARE(deep, 3);
    const QString last = path(u"frames/"_qs + frameName(7));
    QCOMPARE(textOf(last, "Re") + ' ' + textOf(last, "Im") + ' ' + textOf(last, "Width"), QByteArray("0 1 1E-20"));
    const QString sixth = path(u"frames/"_qs + frameName(6));
    QCOMPARE(quirlbau(QStringList{u"--video=back"_qs, u"--start="_qs + sixth, u"--x0=-2"_qs, u"--x1=2"_qs,
                                  u"--y0=-2"_qs, u"--y1=2"_qs, u"--frames=0:0"_qs}
                      + film + common)
                 .status,
             0);
    const QString first = path(u"back/"_qs + frameName(0));
    QCOMPARE(pixelsOf(first), pixelsOf(sixth));
    QCOMPARE(textOf(first, "Width"), textOf(sixth, "Width"));
    // ... and one into it (--from) ends with them.
    QCOMPARE(quirlbau(QStringList{u"--video=into"_qs, u"--from="_qs + sixth, u"--frames=7:7"_qs} + film + common)
                 .status,
             0);
    QCOMPARE(pixelsOf(path(u"into/"_qs + frameName(7))), pixelsOf(sixth));
}

// The MP4 decodes to the PNG frames, up to 4:2:0 and the encoder's loss:
// compared on the brightness of blocks of 6 × 6 pixels, since 4:2:0 cannot
// keep pixel-sized colour noise near the boundary.
void TestFilm::videoHoldsTheFrames()
{
    QVERIFY(QDir(m_dir->path()).mkdir(u"frames"_qs));
    QVERIFY(QDir(m_dir->path()).mkdir(u"decoded"_qs));
    QCOMPARE(quirlbau(QStringList{u"--video=frames"_qs} + Film).status, 0);
    const Outcome video = quirlbau(QStringList{u"--video=film.mp4"_qs} + Film);
    QCOMPARE(video.status, 0);
    QCOMPARE(video.errors, QByteArray());
    QCOMPARE(ffmpeg({u"-i"_qs, u"film.mp4"_qs, u"-start_number"_qs, u"0"_qs, u"decoded/frame-%06d.png"_qs}), 0);
    QCOMPARE(entries(u"decoded"_qs).size(), FilmFrames);
    for (int k = 0; k < FilmFrames; ++k) {
        const QImage exactPixels = pixelsOf(path(u"frames/"_qs + frameName(k)));
        const QImage decodedPixels = pixelsOf(path(u"decoded/"_qs + frameName(k)));
        QCOMPARE(decodedPixels.size(), exactPixels.size());
        const QSize blocks = exactPixels.size() / 6;
        const QImage exact = exactPixels.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage decoded = decodedPixels.scaled(blocks, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double difference = 0;
        for (int y = 0; y < exact.height(); ++y)
            for (int x = 0; x < exact.width(); ++x)
                difference += std::abs(qGray(exact.pixel(x, y)) - qGray(decoded.pixel(x, y)));
        difference /= double(exact.width()) * exact.height();
        QVERIFY2(difference < 4, qPrintable(u"frame %1: %2"_qs.arg(k).arg(difference)));
    }
}

// MP4 parts joined with the concat demuxer and -c copy: all frames, each
// part starting on a key frame.
void TestFilm::videoPartsJoin()
{
    QString list;
    for (const QString &part : {u"0:6"_qs, u"7:11"_qs}) {
        const QString name = u"part-%1.mp4"_qs.arg(part.section(u':', 0, 0));
        QCOMPARE(quirlbau(QStringList{u"--video="_qs + name, u"--frames="_qs + part} + Film).status, 0);
        list += u"file '%1'\n"_qs.arg(name);
    }
    writeFile(path(u"parts.txt"_qs), list.toUtf8());
    QCOMPARE(ffmpeg({u"-f"_qs, u"concat"_qs, u"-i"_qs, u"parts.txt"_qs, u"-c"_qs, u"copy"_qs, u"joined.mp4"_qs}), 0);
    QProcess probe;
    probe.start(u"ffprobe"_qs, {u"-v"_qs, u"error"_qs, u"-select_streams"_qs, u"v"_qs, u"-show_entries"_qs,
                                u"frame=key_frame,pix_fmt,width"_qs, u"-of"_qs, u"csv=p=0"_qs, path(u"joined.mp4"_qs)});
    QVERIFY(probe.waitForFinished(60000));
    // One line a frame; a key frame's side data (x264's settings) ends it
    // with a comma and a line of its own.
    QList<QByteArray> frames;
    for (const QByteArray &line : probe.readAllStandardOutput().split('\n'))
        if (line.contains("yuv420p"))
            frames.append(line.chopped(line.endsWith(',') ? 1 : 0));
    QCOMPARE(frames.size(), FilmFrames);
    for (int k = 0; k < FilmFrames; ++k)
        QCOMPARE(frames[k], QByteArray(k == 0 || k == 7 ? "1,96,yuv420p" : "0,96,yuv420p"));
}

void TestFilm::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("line");
    const auto row = [](const char *tag, const QStringList &arguments, const QString &line) {
        QTest::newRow(tag) << arguments << u"quirlbau: "_qs + line;
    };
    row("mirrored end view", {u"--video=f.mp4"_qs, u"--x0=1"_qs, u"--x1=0"_qs, u"--y0=0"_qs, u"--y1=1"_qs},
        u"--video: Start- und Endansicht sind gegeneinander gespiegelt; ein Zoom führt nicht von der einen zur "
        u"anderen."_qs);
    row("end view is the start", {u"--video=f.mp4"_qs, u"--x0=-1"_qs, u"--x1=3"_qs, u"--y0=-2"_qs, u"--y1=2"_qs,
                                  u"--size=100x100"_qs},
        u"--video: Start- und Endansicht sind gleich groß, aber nicht gleich; ein Zoom führt nicht von der einen "
        u"zur anderen."_qs);
    row("odd size for MP4", {u"--video=f.mp4"_qs, u"--size=101x100"_qs},
        u"--size: „101x100“: Breite und Höhe eines MP4-Films müssen gerade sein."_qs);
    row("neither MP4 nor folder", {u"--video=f.avi"_qs},
        u"--video: „f.avi“ ist weder eine .mp4-Datei noch ein vorhandener Ordner."_qs);
    row("fps 0", {u"--video=f.mp4"_qs, u"--fps=0"_qs}, u"--fps: „0“ liegt nicht zwischen 1 und 240."_qs);
    row("seconds 0", {u"--video=f.mp4"_qs, u"--seconds=0"_qs}, u"--seconds: „0“ ist keine Zahl über 0 bis 86400."_qs);
    row("one frame", {u"--video=f.mp4"_qs, u"--seconds=0,01"_qs},
        u"--seconds: Der Film hätte weniger als zwei Bilder."_qs);
    row("frames past the end", {u"--video=f.mp4"_qs, u"--seconds=2"_qs, u"--frames=0:60"_qs},
        u"--frames: „0:60“ liegt nicht innerhalb von 0:59."_qs);
    row("frames not a range", {u"--video=f.mp4"_qs, u"--frames=7"_qs},
        u"--frames: „7“ hat nicht die Form ERSTES:LETZTES."_qs);
    row("frames without video", {u"--render=f.png"_qs, u"--frames=0:1"_qs}, u"--frames: nur zusammen mit --video."_qs);
    row("render and video", {u"--render=f.png"_qs, u"--video=f.mp4"_qs}, u"--render: nicht zusammen mit --video."_qs);
    row("rows in a film", {u"--video=f.mp4"_qs, u"--rows=0:1"_qs},
        u"--rows: nicht für Filme; Teile eines Films wählt --frames."_qs);
    row("start missing", {u"--video=f.mp4"_qs, u"--start=fehlt.png"_qs},
        u"--start: „fehlt.png“: Die Datei oder das Verzeichnis konnte nicht gefunden werden."_qs);
}

// Refused with exit status 2 and one line, and no file written.
void TestFilm::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, line);
    const Outcome run = quirlbau(arguments);
    QCOMPARE(run.status, 2);
    QCOMPARE(QString::fromUtf8(run.errors), line + u'\n');
    QCOMPARE(entries(), QStringList());
}

void TestFilm::encoderFailures_data()
{
    QTest::addColumn<QString>("shell");
    QTest::addColumn<QString>("line");
    QTest::newRow("no ffmpeg") << u"PATH=/nonexistent exec \"$@\""_qs
                               << u"quirlbau: ffmpeg fehlt; bitte das Paket „ffmpeg“ installieren (apt install "
                                  u"ffmpeg).\n"_qs;
    QTest::newRow("ffmpeg fails") << u"mkdir bin && printf '#!/bin/sh\\necho kaputt >&2\\nexit 1\\n' > bin/ffmpeg && "
                                     u"chmod +x bin/ffmpeg && PATH=$PWD/bin exec \"$@\""_qs
                                  << u"quirlbau: „film.mp4“: ffmpeg meldet: kaputt\n"_qs;
    QTest::newRow("disk full") << u"ulimit -f 20; trap '' XFSZ; exec \"$@\""_qs << QString();
}

// One line, exit status 1, no temporary file left and the old film untouched.
void TestFilm::encoderFailures()
{
    QFETCH(QString, shell);
    QFETCH(QString, line);
    writeFile(path(u"film.mp4"_qs), "old");
    const Outcome run = quirlbau({u"--video=film.mp4"_qs, u"--size=320x180"_qs, u"--seconds=2"_qs}, shell);
    QCOMPARE(run.status, 1);
    if (!line.isEmpty())
        QCOMPARE(QString::fromUtf8(run.errors), line);
    else
        QVERIFY2(run.errors.startsWith("quirlbau: „film.mp4“: ffmpeg meldet: ") && run.errors.count('\n') == 1,
                 run.errors.constData());
    QCOMPARE(entries().filter(u"film"_qs), QStringList{u"film.mp4"_qs});
    QCOMPARE(contentsOf(path(u"film.mp4"_qs)), QByteArray("old"));
}

void TestFilm::interrupted_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("toFolder");
    QTest::newRow("MP4, Ctrl+C") << SIGINT << false;
    QTest::newRow("MP4, SIGTERM") << SIGTERM << false;
    QTest::newRow("frames, SIGTERM") << SIGTERM << true;
}

// Stopped while frames are written: nothing new, the old file untouched.
void TestFilm::interrupted()
{
    QFETCH(int, signal);
    QFETCH(bool, toFolder);
    QVERIFY(QDir(m_dir->path()).mkdir(u"frames"_qs));
    writeFile(path(u"film.mp4"_qs), "old");
    const QStringList before = entries();
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(QUIRLBAU_PROGRAM), {toFolder ? u"--video=frames"_qs : u"--video=film.mp4"_qs,
                                                     u"--imax=32767"_qs, u"--seconds=60"_qs, u"--size=320x180"_qs});
    QVERIFY(process.waitForStarted());
    QVERIFY(waitUntilWriting(process, m_dir->path(), 30000));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 128 + signal);
    QCOMPARE(entries(), before);
    QCOMPARE(entries(u"frames"_qs), QStringList());
    QCOMPARE(contentsOf(path(u"film.mp4"_qs)), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestFilm)
#include "tst_film.moc"
