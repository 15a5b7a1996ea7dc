#include "childprocess.h"
#include "picturebytes.h"

#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// The program under faults of the machine and of the user: limits, signals,
// targets that are no plain files, odd names, bad command lines and crafted
// pictures. Every row runs as the user running the test and, when that is
// root, again as nobody. Nothing aborts, every message is one German line,
// nothing is left behind, nothing is replaced by mistake.

namespace {

constexpr uid_t Nobody = 65534;
const QStringList AsNobody = {u"setpriv"_qs, u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs};
// Long enough for a signal to arrive while it writes, and for a second of
// processor time on a fast machine: points near the boundary, whose long
// orbits no cycle check cuts short (the whole set at this size took 0,75 s
// on a Zen 5 core with AVX-512, this some 7 s).
const QStringList LongExport = {u"--render=p.png"_qs, u"--size=6000"_qs, u"--imax=32767"_qs,
                                u"--x0=-0.7475"_qs, u"--x1=-0.7425"_qs, u"--y0=0.1"_qs, u"--y1=0.105"_qs,
                                u"--quiet"_qs};
// Short enough to wait for.
const QStringList ShortExport = {u"--render=p.png"_qs, u"--size=1500"_qs, u"--imax=2000"_qs, u"--x0=-2"_qs,
                                 u"--x1=1"_qs, u"--y0=-1.5"_qs, u"--y1=1.5"_qs, u"--quiet"_qs};
const QByteArray Signature("\x89PNG\r\n\x1a\n", 8);

enum class Setup { None, Symlink, DanglingSymlink, SymlinkLoop, Fifo, Device, Existing, BigY0, Crafted };
enum class After { Nothing, Png, SymlinkKept, NewThroughLink, FifoKept, DeviceKept, ModeKept, OddName, Untouched };

struct Outcome
{
    int status = -1; // -1: ended by a signal or not at all
    QByteArray errors;
};

bool isRoot()
{
    return geteuid() == 0;
}

QString longName(int bytes)
{
    return QString(bytes - 4, u'n') + u".png"_qs;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(After)

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void faults_data();
    void faults();
    void endedBySignal_data();
    void endedBySignal();
    void signalAtAnyMoment_data();
    void signalAtAnyMoment();
    void addressSpaceLimit_data();
    void addressSpaceLimit();

private:
    void addUsers(const char *tag, const std::function<void(QTestData &)> &row);
    QStringList command(bool nobody, const QStringList &wrapper) const;
    void start(QProcess &process, bool nobody, const QStringList &wrapper, const QStringList &arguments) const;
    Outcome run(bool nobody, const QStringList &wrapper, const QStringList &arguments) const;
    void prepare(Setup setup, bool nobody);
    void check(After after, bool nobody);
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesLeft() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_nobodyToo = false;
};

void TestFaults::initTestCase()
{
    // Nobody must reach the program; a build under a private home is run as root only.
    if (isRoot()) {
        QProcess probe;
        probe.start(AsNobody.constFirst(), AsNobody.mid(1) + QStringList{u"test"_qs, u"-x"_qs, QUIRLBAU_PROGRAM});
        m_nobodyToo = probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit
                   && probe.exitCode() == 0;
        if (!m_nobodyToo)
            qWarning("nobody cannot run %s: the rows run as root only", QUIRLBAU_PROGRAM);
    }
}

void TestFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // Nobody writes here too.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
}

QStringList TestFaults::filesLeft() const
{
    return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                         QDir::Name);
}

void TestFaults::addUsers(const char *tag, const std::function<void(QTestData &)> &row)
{
    row(QTest::addRow("%s, %s", tag, isRoot() ? "root" : "user") << false);
    if (isRoot())
        row(QTest::addRow("%s, nobody", tag) << true);
}

QStringList TestFaults::command(bool nobody, const QStringList &wrapper) const
{
    return (nobody ? AsNobody : QStringList()) + wrapper + QStringList{QUIRLBAU_PROGRAM};
}

void TestFaults::start(QProcess &process, bool nobody, const QStringList &wrapper,
                       const QStringList &arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir->path());
    const QStringList line = command(nobody, wrapper) + arguments;
    process.start(line.constFirst(), line.mid(1));
}

Outcome TestFaults::run(bool nobody, const QStringList &wrapper, const QStringList &arguments) const
{
    QProcess process;
    start(process, nobody, wrapper, arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardError()};
}

void TestFaults::prepare(Setup setup, bool nobody)
{
    const auto owned = [&](const QString &name, mode_t mode) {
        writeFile(path(name), "old");
        QCOMPARE(::chmod(QFile::encodeName(path(name)).constData(), mode), 0);
        if (nobody || isRoot())
            QCOMPARE(::chown(QFile::encodeName(path(name)).constData(), Nobody, Nobody), 0);
    };
    switch (setup) {
    case Setup::None: break;
    case Setup::Symlink:
        owned(u"real.png"_qs, 0600);
        QVERIFY(QFile::link(u"real.png"_qs, path(u"t.png"_qs)));
        break;
    case Setup::DanglingSymlink: QVERIFY(QFile::link(u"new.png"_qs, path(u"t.png"_qs))); break;
    case Setup::SymlinkLoop: QVERIFY(QFile::link(u"t.png"_qs, path(u"t.png"_qs))); break;
    case Setup::Fifo: QCOMPARE(::mkfifo(QFile::encodeName(path(u"t.png"_qs)).constData(), 0666), 0); break;
    case Setup::Device:
        // A node of our own, in our folder: the null device's numbers.
        if (::mknod(QFile::encodeName(path(u"t.png"_qs)).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("no device nodes here (not root, or the container forbids them)");
        break;
    case Setup::Existing: owned(u"t.png"_qs, 0640); break;
    case Setup::BigY0: {
        PictureTexts texts = pictureTexts(startRecord());
        for (auto &[key, value] : texts)
            if (key == "Y0")
                value = "1e+308";
        writeFile(path(u"big.png"_qs), pngBytes(4, texts));
        break;
    }
    case Setup::Crafted: writeCraftedPng(path(u"crafted.png"_qs), 4094, 16u << 20); break;
    }
}

void TestFaults::check(After after, bool nobody)
{
    struct stat status{};
    const auto statOf = [&](const QString &name) {
        return ::lstat(QFile::encodeName(path(name)).constData(), &status) == 0;
    };
    const uid_t owner = nobody || isRoot() ? Nobody : geteuid();
    switch (after) {
    case After::Nothing: QCOMPARE(filesLeft(), QStringList()); break;
    case After::Png:
        QCOMPARE(filesLeft(), QStringList{u"t.png"_qs});
        QVERIFY(contentsOf(path(u"t.png"_qs)).startsWith(Signature));
        break;
    case After::SymlinkKept:
        QCOMPARE(filesLeft(), (QStringList{u"real.png"_qs, u"t.png"_qs}));
        QCOMPARE(QFileInfo(path(u"t.png"_qs)).symLinkTarget(), path(u"real.png"_qs));
        QVERIFY(contentsOf(path(u"real.png"_qs)).startsWith(Signature));
        QVERIFY(statOf(u"real.png"_qs));
        QCOMPARE(status.st_mode & 07777, mode_t(0600));
        QCOMPARE(status.st_uid, owner);
        break;
    case After::NewThroughLink:
        QCOMPARE(filesLeft(), (QStringList{u"new.png"_qs, u"t.png"_qs}));
        QVERIFY(QFileInfo(path(u"t.png"_qs)).isSymLink());
        QVERIFY(contentsOf(path(u"new.png"_qs)).startsWith(Signature));
        break;
    case After::FifoKept: QVERIFY(statOf(u"t.png"_qs) && S_ISFIFO(status.st_mode)); break;
    case After::DeviceKept: QVERIFY(statOf(u"t.png"_qs) && S_ISCHR(status.st_mode)); break;
    case After::ModeKept:
        QVERIFY(contentsOf(path(u"t.png"_qs)).startsWith(Signature));
        QVERIFY(statOf(u"t.png"_qs));
        QCOMPARE(status.st_mode & 07777, mode_t(0640));
        QCOMPARE(status.st_uid, owner);
        break;
    case After::OddName:
        // QDir leaves out names it cannot decode; the file system has them.
        QVERIFY(::access(QByteArray(m_dir->path().toUtf8() + "/bad\xff\xfe.png").constData(), F_OK) == 0);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(m_dir->path().toStdString()), {}), 1);
        break;
    case After::Untouched: QCOMPARE(filesLeft().size(), 1); break;
    }
    if (after == After::Nothing || after == After::Png)
        return;
    const QStringList hidden = filesLeft().filter(QRegularExpression(u"^\\."_qs));
    QCOMPARE(hidden, QStringList());
}

void TestFaults::faults_data()
{
    QTest::addColumn<bool>("nobody");
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("wrapper");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("line"); // without "quirlbau: "; empty: nothing on stderr
    QTest::addColumn<After>("after");
    const auto row = [this](const char *tag, Setup setup, const QStringList &wrapper, const QStringList &arguments,
                            int status, const QString &line, After after) {
        addUsers(tag, [&](QTestData &data) { data << setup << wrapper << arguments << status << line << after; });
    };
    const QStringList small = {u"--render=t.png"_qs, u"--size=16"_qs};
    const QString notPlain = u"„t.png“ lässt sich nicht schreiben: Das Ziel ist keine gewöhnliche Datei (ein Gerät, "
                             u"eine FIFO oder ein Socket); es bleibt, wie es ist."_qs;
    // 1. Threads and memory.
#if defined(__SANITIZE_ADDRESS__)
    // LeakSanitizer needs a thread of its own at the end, which the limit forbids.
    const QStringList noThreadOfItsOwn = {u"env"_qs, u"ASAN_OPTIONS=detect_leaks=0"_qs};
#else
    const QStringList noThreadOfItsOwn;
#endif
    row("one process allowed", Setup::None, QStringList{u"prlimit"_qs, u"--nproc=1"_qs} + noThreadOfItsOwn,
        {u"--render=t.png"_qs}, 0, {}, After::Png);
    // 3. Targets that are no plain files.
    row("symlink followed", Setup::Symlink, {}, small, 0, {}, After::SymlinkKept);
    row("symlink to a new file", Setup::DanglingSymlink, {}, small, 0, {}, After::NewThroughLink);
    row("symlink loop", Setup::SymlinkLoop, {}, small, 1,
        u"„t.png“ lässt sich nicht schreiben: Zu viele Ebenen symbolischer Verknüpfungen."_qs, After::Untouched);
    row("FIFO refused", Setup::Fifo, {}, small, 1, notPlain, After::FifoKept);
    row("device refused", Setup::Device, {}, small, 1, notPlain, After::DeviceKept);
    row("mode and owner kept", Setup::Existing, {}, small, 0, {}, After::ModeKept);
    // 4. Names.
    row("name of 255 bytes", Setup::None, {}, {u"--render="_qs + longName(255), u"--size=4"_qs}, 0, {},
        After::Untouched);
    row("name of 256 bytes", Setup::None, {}, {u"--render="_qs + longName(256), u"--size=4"_qs}, 1,
        u"„%1“ lässt sich nicht schreiben: Der Name ist zu lang."_qs.arg(longName(256)), After::Nothing);
    row("name not UTF-8", Setup::None,
        {u"sh"_qs, u"-c"_qs, u"exec \"$@\" \"--render=$(printf 'bad\\377\\376.png')\""_qs, u"sh"_qs},
        {u"--size=4"_qs}, 0, {}, After::OddName);
    // 5. Messages.
    row("--from without a name", Setup::None, {}, {u"--render=t.png"_qs, u"--from="_qs}, 2,
        u"--from: kein Dateiname."_qs, After::Nothing);
    row("value with a newline", Setup::None, {}, {u"--render=t.png"_qs, u"--x0=1\n2"_qs}, 2,
        u"--x0: „1\\n2“ ist keine Zahl."_qs, After::Nothing);
    row("stray -1,5", Setup::None, {}, {u"--render=t.png"_qs, u"-1,5"_qs}, 2, u"„-1,5“: unbekannte Option."_qs,
        After::Nothing);
    row("--from with Y0 1E308", Setup::BigY0, {}, {u"--render=t.png"_qs, u"--from=big.png"_qs}, 2,
        u"--from: Die Höhe des Ausschnitts liegt außerhalb des Zahlenbereichs."_qs, After::Untouched);
    row("options without --render", Setup::None, {}, {u"--size=8"_qs}, 2,
        u"--render: fehlt; ohne sie nimmt quirlbau keine Optionen an."_qs, After::Nothing);
    row("two files", Setup::None, {}, {u"a.png"_qs, u"b.png"_qs}, 2, u"Das Fenster öffnet ein Bild, nicht 2."_qs,
        After::Nothing);
    row("no display", Setup::None, {}, {}, 1,
        u"Keine Anzeige zu öffnen (DISPLAY ist nicht gesetzt oder nicht erreichbar); ohne Bildschirm: "
        u"xvfb-run -a quirlbau"_qs,
        After::Nothing);
    // 6. Crafted pictures.
    row("--from 64 GiB of chunks before the pixels", Setup::Crafted, {},
        {u"--render=t.png"_qs, u"--from=crafted.png"_qs}, 2,
        u"--from: „crafted.png“: Ein Abschnitt der Datei ist 16777216 Bytes lang, zu lang."_qs, After::Untouched);
    row("--from a FIFO", Setup::Fifo, {}, {u"--render=p.png"_qs, u"--from=t.png"_qs}, 2,
        u"--from: „t.png“: Das ist keine gewöhnliche Datei."_qs, After::FifoKept);
}

void TestFaults::faults()
{
    QFETCH(bool, nobody);
    QFETCH(Setup, setup);
    QFETCH(QStringList, wrapper);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, line);
    QFETCH(After, after);
    if (nobody && !m_nobodyToo)
        QSKIP("nobody cannot run the program here");
    prepare(setup, nobody);
    if (QTest::currentTestFailed())
        return;
    const Outcome outcome = run(nobody, wrapper, arguments);
    QCOMPARE(QString::fromUtf8(outcome.errors), line.isEmpty() ? QString() : u"quirlbau: "_qs + line + u'\n');
    QCOMPARE(outcome.status, status);
    check(after, nobody);
}

void TestFaults::endedBySignal_data()
{
    QTest::addColumn<bool>("nobody");
    QTest::addColumn<QStringList>("wrapper");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal"); // 0: none sent
    QTest::addColumn<int>("status"); // -1: ended by the signal
    const auto row = [this](const char *tag, const QStringList &wrapper, const QStringList &arguments, int signal,
                            int status) {
        addUsers(tag, [&](QTestData &data) { data << wrapper << arguments << signal << status; });
    };
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGXCPU})
        row(strsignal(signal), {}, LongExport, signal, 128 + signal);
    row("Killed", {}, LongExport, SIGKILL, -1);
    row("CPU time limit", {u"prlimit"_qs, u"--cpu=1:30"_qs}, LongExport, 0, 128 + SIGXCPU);
    row("SIGHUP under nohup", {u"nohup"_qs}, ShortExport, SIGHUP, 0);
    row("SIGINT ignored as by &", {u"sh"_qs, u"-c"_qs, u"trap '' INT; exec \"$@\""_qs, u"sh"_qs}, ShortExport,
        SIGINT, 0);
}

// Ended while writing: nothing left; an inherited "ignore" is kept and the
// file written whole.
void TestFaults::endedBySignal()
{
    QFETCH(bool, nobody);
    QFETCH(QStringList, wrapper);
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(int, status);
    if (nobody && !m_nobodyToo)
        QSKIP("nobody cannot run the program here");
    QProcess process;
    start(process, nobody, wrapper, arguments);
    QVERIFY(process.waitForStarted());
    if (signal != 0) {
        QVERIFY(waitUntilWriting(process, m_dir->path(), 30000));
        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
    }
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, status);
    if (status == 0) {
        QCOMPARE(filesLeft(), QStringList{u"p.png"_qs});
        QVERIFY(contentsOf(path(u"p.png"_qs)).startsWith(Signature));
    } else {
        QCOMPARE(filesLeft(), QStringList());
    }
}

void TestFaults::signalAtAnyMoment_data()
{
    QTest::addColumn<bool>("nobody");
    addUsers("SIGTERM", [](QTestData &) {});
}

// SIGTERM at moments spread over a short export, some of them while the file
// is put in place: whatever the moment, exit 0 means the file is there and
// whole, 143 means nothing is there.
void TestFaults::signalAtAnyMoment()
{
    QFETCH(bool, nobody);
    if (nobody && !m_nobodyToo)
        QSKIP("nobody cannot run the program here");
    constexpr int Runs = 24;
    int written = 0;
    for (int k = 0; k < Runs; ++k) {
        QProcess process;
        start(process, nobody, {}, {u"--render=p.png"_qs, u"--size=300"_qs, u"--quiet"_qs});
        QVERIFY(waitUntilWriting(process, m_dir->path(), 30000));
        // A different moment each run, from at once to past the end.
        QElapsedTimer spin;
        spin.start();
        while (spin.nsecsElapsed() < qint64(k) * 4'000'000) {
        }
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const int status = process.exitCode();
        QVERIFY2(status == 0 || status == 128 + SIGTERM, qPrintable(QString::number(status)));
        if (status == 0) {
            ++written;
            QCOMPARE(filesLeft(), QStringList{u"p.png"_qs});
            QVERIFY(recordOf(path(u"p.png"_qs)));
            QVERIFY(QFile::remove(path(u"p.png"_qs)));
        }
        QCOMPARE(filesLeft(), QStringList());
    }
    qInfo("%d of %d runs finished before the signal", written, Runs);
}

void TestFaults::addressSpaceLimit_data()
{
    QTest::addColumn<bool>("nobody");
    addUsers("smallest limit it starts under", [](QTestData &) {});
}

// Under the smallest address-space limit that lets the program start at
// all, an export's threads and buffers do not fit: it ends with one line,
// or goes on with fewer threads and writes the file, and never aborts.
void TestFaults::addressSpaceLimit()
{
    QFETCH(bool, nobody);
    if (nobody && !m_nobodyToo)
        QSKIP("nobody cannot run the program here");
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer reserves more address space than any such limit allows");
#endif
    constexpr qint64 StepBytes = 4'000'000;
    const auto limited = [](qint64 bytes) { return QStringList{u"prlimit"_qs, u"--as=%1"_qs.arg(bytes)}; };
    qint64 limit = 40'000'000;
    while (limit < 400'000'000 && run(nobody, limited(limit), {u"--version"_qs}).status != 0)
        limit += StepBytes;
    const Outcome outcome = run(nobody, limited(limit),
                                {u"--render=t.png"_qs, u"--size=20000"_qs, u"--rows=0:200"_qs, u"--quiet"_qs});
    qInfo("limit %lld bytes: exit %d", limit, outcome.status);
    if (outcome.status == 0) {
        check(After::Png, nobody);
        return;
    }
    QCOMPARE(outcome.status, 1);
    QCOMPARE(QString::fromUtf8(outcome.errors), u"quirlbau: „t.png“: Nicht genug Arbeitsspeicher für dieses Bild.\n"_qs);
    check(After::Nothing, nobody);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
