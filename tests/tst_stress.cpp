#include "app/application.h"
#include "stressepisode.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

// Random interleavings of everything a user can do while the render run
// lets events run, each checked against the protocol's expectation after
// every step and at every event pass.
//
// Seeded and reproducible: QUIRLBAU_STRESS_SEED (or --seed N) sets the seed
// of the first episode, episode n uses seed + n, QUIRLBAU_STRESS_EPISODES
// (or --episodes N) their number. A failing episode prints its seed and how
// to replay it alone.
class tst_Stress : public QObject
{
    Q_OBJECT

public:
    tst_Stress(std::uint64_t seed, int episodes) : m_seed(seed), m_episodes(episodes) {}

private slots:
    void interleavings();
    void closeMidRunEndsTheProcess_data();
    void closeMidRunEndsTheProcess();

private:
    std::uint64_t m_seed;
    int m_episodes;
};

namespace {

constexpr std::uint64_t DefaultSeed = 20261207;
constexpr int DefaultEpisodes = 320;

QString replayHint(std::uint64_t seed)
{
    return QStringLiteral("replay with QUIRLBAU_STRESS_SEED=%1 QUIRLBAU_STRESS_EPISODES=1").arg(seed);
}

} // namespace

void tst_Stress::interleavings()
{
    StressStats stats;
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < m_episodes; ++n) {
        const std::uint64_t seed = m_seed + std::uint64_t(n);
        StressEpisode episode(seed, stats);
        if (!episode.run()) {
            qWarning().noquote() << QStringLiteral("episode %1 (seed %2) failed; its steps:\n  ").arg(n).arg(seed)
                                        + episode.log().join(QStringLiteral("\n  "));
            QFAIL(qPrintable(QStringLiteral("seed %1, %2; %3").arg(seed).arg(episode.failure(), replayHint(seed))));
        }
    }
    qInfo().noquote() << QStringLiteral(
                             "%1 episodes, %2 steps in %3 ms: %4 runs entered (%5 failed to start), "
                             "%6 event passes, %7 actions delivered into them; %8 pauses, %9 "
                             "continues, %10 completed; closed %11 times mid-run, %12 idle; %13 "
                             "selections")
                             .arg(stats.episodes).arg(stats.steps).arg(clock.elapsed())
                             .arg(stats.runs).arg(stats.failedStarts).arg(stats.passes)
                             .arg(stats.actionsInRuns).arg(stats.pauses).arg(stats.continues)
                             .arg(stats.completed).arg(stats.closedMidRun).arg(stats.closedIdle)
                             .arg(stats.selections);
    // A full default run must really have interleaved; a replay of one
    // episode need not. Half an action an episode: on a Zen 5 core with
    // AVX-512 runs end within fewer event passes, and 309 to 378 actions
    // reached them in 320 episodes.
    if (m_episodes >= 100) {
        QVERIFY(2 * stats.actionsInRuns >= m_episodes);
        QVERIFY(stats.pauses > 0 && stats.continues > 0 && stats.closedMidRun > 0);
    }
}

void tst_Stress::closeMidRunEndsTheProcess_data()
{
    QTest::addColumn<quint64>("seed");
    for (std::uint64_t n = 0; n < 4; ++n)
        QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(m_seed + 100000 + n)))
            << quint64(m_seed + 100000 + n);
}

// The same episodes in the program's own event loop, ended by a close in
// the middle of a run: the process must end by itself, with status 0 (and,
// under the sanitizers, without a leak).
void tst_Stress::closeMidRunEndsTheProcess()
{
    QFETCH(quint64, seed);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--close-mid-run"), QString::number(seed)});
    const bool ended = child.waitForFinished(60000);
    if (!ended)
        child.kill();
    const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
    QVERIFY2(ended, qPrintable("the process did not end after its window closed; " + replayHint(seed)));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(QStringLiteral("exit code %1: %2").arg(child.exitCode()).arg(QString::fromUtf8(output))));
    QVERIFY2(output.contains("closed mid-run 1"), output.constData());
}

namespace {

// The child of closeMidRunEndsTheProcess: the episode runs inside
// QApplication::exec(), which must return once the window has closed.
int closeMidRunChild(int argc, char *argv[], std::uint64_t seed)
{
    QApplication app(argc, argv);
    setUpApplication(app);
    StressStats stats;
    QString failure;
    QTimer::singleShot(0, &app, [&] {
        StressEpisode episode(seed, stats);
        if (!episode.run(true)) {
            failure = episode.failure() + QStringLiteral("\n  ") + episode.log().join(QStringLiteral("\n  "));
            QCoreApplication::exit(2);
        }
    });
    const int status = app.exec();
    std::printf("closed mid-run %d\n", stats.closedMidRun);
    if (!failure.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(failure));
    return status;
}

std::uint64_t fromEnvironment(const char *name, std::uint64_t fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    std::uint64_t seed = fromEnvironment("QUIRLBAU_STRESS_SEED", DefaultSeed);
    int episodes = int(fromEnvironment("QUIRLBAU_STRESS_EPISODES", DefaultEpisodes));
    if (argc == 3 && std::string(argv[1]) == "--close-mid-run")
        return closeMidRunChild(1, argv, std::strtoull(argv[2], nullptr, 10));
    // --seed and --episodes are ours; QTest gets the rest.
    int kept = 1;
    for (int n = 1; n < argc; ++n) {
        const std::string arg = argv[n];
        if ((arg == "--seed" || arg == "--episodes") && n + 1 < argc) {
            const std::uint64_t value = std::strtoull(argv[++n], nullptr, 10);
            if (arg == "--seed")
                seed = value;
            else
                episodes = int(value);
            continue;
        }
        argv[kept++] = argv[n];
    }
    argc = kept;
    std::printf("stress: seed %llu, %d episodes\n", static_cast<unsigned long long>(seed), episodes);
    QApplication app(argc, argv);
    setUpApplication(app);
    tst_Stress test(seed, episodes);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_stress.moc"
