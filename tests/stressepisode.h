#pragma once

#include "fakeplatform.h"
#include "stressmodel.h"

#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class MainWindow;
class QPushButton;

// Totals over all episodes, for the summary line.
struct StressStats
{
    int episodes = 0, steps = 0, runs = 0, passes = 0, actionsInRuns = 0;
    int pauses = 0, continues = 0, completed = 0, failedStarts = 0;
    int closedMidRun = 0, closedIdle = 0, selections = 0;
};

// One seeded episode: a fresh window, a random sequence of user actions,
// some of them queued into the event passes of the runs they start, and
// after every step and at every event pass a comparison with the expected
// window. The seed alone fixes the actions and the event pass each one is
// delivered at; which point a pass falls after depends on the clock, and
// the expectation follows it.
class StressEpisode
{
public:
    enum class Kind {
        Start, Stop, ClearAll, ClearPicture, Preset, Colour, PaletteReset, Edit, Zoom, Close
    };
    struct Action
    {
        Kind kind;
        int index = 0; // preset 1..6, swatch 0..7, field 0..4
        QString text;
        QPoint position;
        std::optional<QColor> colour;
    };

    StressEpisode(std::uint64_t seed, StressStats &stats);
    ~StressEpisode();

    // Runs the episode; false when an expectation failed (see failure()).
    // With closeMidRun the episode ends by closing the window during a run.
    bool run(bool closeMidRun = false);
    QString failure() const { return m_failure; }
    QStringList log() const { return m_log; }

private:
    void step(const Action &action);
    Action drawAction(bool inRun);
    QString drawFieldText(int field);
    void perform(const Action &action);
    void performInRun(const Action &action);
    void clickRunButton(QPushButton *button);
    bool enterRun();
    std::optional<RunSection> readSection() const;
    void drawPlan();
    void finishRun();
    void onEventPass();
    void stop();
    void clearAll();
    void preset(int k);
    void chooseColour(const Action &action);
    void edit(int field, const QString &text);
    QStringList sectionTexts() const;
    void zoom(QPoint position);
    void finishSelection(QPoint lowerRight, const QStringList &before, qsizetype messagesBefore);
    void closeWindow();
    void clickWithoutEffect(QPushButton *button);
    void checkIdle();
    void checkSeventeen(bool enabled);
    bool expect(bool condition, const QString &what);
    QString describe(const Action &action) const;
    QString grouped(std::int64_t value) const;

    StressRng m_rng;
    StressStats &m_stats;
    FakePlatform m_platform;
    std::unique_ptr<MainWindow> m_window;
    ExpectedWindow m_expected;
    std::optional<RunSegment> m_segment;
    std::vector<std::pair<int, Action>> m_plan; // actions for the run, by event pass
    bool m_inAction = false;
    bool m_closeMidRun = false;
    bool m_closeAtFirstPass = false;
    QPoint m_zoomOrigin, m_zoomUpperLeft;
    QString m_failure;
    QStringList m_log;
};
