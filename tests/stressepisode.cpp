#include "stressepisode.h"

#include "app/clickablelabel.h"
#include "app/mainwindow.h"
#include "core/standardcolors.h"
#include "render/renderrun.h"
#include "core/decimalseparator.h"
#include "form/inputmessage.h"
#include "core/numbertext.h"
#include "userinput.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QLocale German(QLocale::German, QLocale::Germany);

const QString TenThousandLetters(10000, u'x');
const QString TenThousandDigits = QLatin1Char('1') + QString(9999, u'0'); // beyond the double range
const QString TenThousandCharNumber = QStringLiteral("0,") + QString(9998, u'3');

const QStringList GoodSection{"-2",      "2",      "-1,5",   "1,5",      "0",     "0,5",
                              "-0,75",   "1.25",   "+0,5",   "-0",       "1,25E-06",
                              "1E-999",  "  -1  ", "1E308",  "-1E308",   "-1,4025"};
const QStringList BadSection{"", "abc", "1,2,3", "1E999", "nan", "inf", "-inf", "1,5x"};
// Small limits keep a run within some tens of milliseconds; the first five
// are the ones an episode starts with.
const QStringList GoodImax{"1", "4", "12", "30", "50", "0", "-7", "-32768", "2,5", "3.5", " 8 "};
const QStringList BadImax{"", "abc", "40000", "32767,5", "-32769", "nan", "inf", "1,2,3", "1E999"};

// Weights in percent, in the order of StressEpisode::Kind. In a run the
// pause comes more often, and the disabled buttons are tried as a user might.
constexpr std::array<int, 10> IdleWeights{22, 18, 4, 4, 7, 10, 3, 16, 13, 3};
constexpr std::array<int, 10> RunWeights{5, 26, 4, 4, 5, 5, 16, 15, 15, 5};


} // namespace

StressEpisode::StressEpisode(std::uint64_t seed, StressStats &stats)
    : m_rng(seed), m_stats(stats)
{
    QLocale::setDefault(m_rng.percent(70) ? German : QLocale::c());
    m_window = std::make_unique<MainWindow>(m_platform);
    m_window->show();
    expect(QTest::qWaitForWindowExposed(m_window.get()), QStringLiteral("the window is not shown"));
    // Event passes every 1 or 2 ms instead of 8: more passes per run to
    // deliver actions into, short runs included.
    m_window->findChild<RenderRun *>()->setEventInterval(1 + m_rng.below(2));
    m_platform.onDoEvents = [this] { onEventPass(); };

    const Controls &c = m_window->controls();
    m_expected.stopFace = backColor(c.btStop);
    m_expected.lblI = c.lblI->text();
    m_expected.lblJ = c.lblJ->text();
    m_expected.lblCounts = c.lblCounts->text();
    m_expected.lblPixel = c.lblPixel->text();
    m_expected.bar = c.lblBar->width();
    m_expected.picture = m_window->picture();
}

StressEpisode::~StressEpisode()
{
    m_platform.onDoEvents = nullptr;
    m_window.reset();
    QLocale::setDefault(German);
}

bool StressEpisode::run(bool closeMidRun)
{
    ++m_stats.episodes;
    m_closeMidRun = closeMidRun;
    step(Action{Kind::Edit, 4, GoodImax[m_rng.below(5)]});
    const int steps = 6 + m_rng.below(10);
    for (int n = 0; n < steps && m_expected.alive && m_failure.isEmpty(); ++n)
        step(drawAction(false));
    if (closeMidRun && m_expected.alive && m_failure.isEmpty()) {
        // A fresh start of a run long enough for an event pass, closed there.
        for (const Action &action : {Action{Kind::ClearAll}, Action{Kind::Preset, 1},
                                     Action{Kind::Edit, 4, QStringLiteral("100")}})
            step(action);
        m_closeAtFirstPass = true;
        step(Action{Kind::Start});
        expect(!m_expected.alive, QStringLiteral("the run ended before its first event pass"));
    }
    return m_failure.isEmpty();
}

// The actions for a run the step may enter are drawn whether or not it
// enters one, so the seed alone fixes every action of the episode.
void StressEpisode::step(const Action &action)
{
    ++m_stats.steps;
    drawPlan();
    m_log.append(describe(action));
    perform(action);
    checkIdle();
}

StressEpisode::Action StressEpisode::drawAction(bool inRun)
{
    const std::array<int, 10> &weights = inRun ? RunWeights : IdleWeights;
    int roll = m_rng.below(100);
    size_t k = 0;
    while (roll >= weights[k])
        roll -= weights[k++];
    Action action{Kind(k)};
    switch (action.kind) {
    case Kind::Preset:
        action.index = 1 + m_rng.below(6);
        break;
    case Kind::Colour:
        action.index = m_rng.below(8);
        if (m_rng.percent(70))
            action.colour = QColor(m_rng.below(256), m_rng.below(256), m_rng.below(256));
        break;
    case Kind::Edit:
        action.index = m_rng.below(5);
        action.text = drawFieldText(action.index);
        break;
    case Kind::Zoom:
        action.position = m_rng.percent(70)
                              ? SurfaceRect.topLeft() + QPoint(m_rng.below(400), m_rng.below(400))
                              : QPoint(m_rng.below(m_window->width()), m_rng.below(m_window->height()));
        break;
    case Kind::Close:
        if (m_closeMidRun) // that episode closes at its end, mid-run
            action.kind = Kind::PaletteReset;
        break;
    default:
        break;
    }
    return action;
}

QString StressEpisode::drawFieldText(int field)
{
    const bool imax = field == 4;
    if (m_rng.percent(4)) {
        const std::array<QString, 3> longTexts{TenThousandLetters, TenThousandDigits,
                                               TenThousandCharNumber};
        return longTexts[size_t(m_rng.below(3))];
    }
    const QStringList &pool = m_rng.percent(75) ? (imax ? GoodImax : GoodSection)
                                                : (imax ? BadImax : BadSection);
    return pool[m_rng.below(int(pool.size()))];
}

void StressEpisode::perform(const Action &action)
{
    const Controls &c = m_window->controls();
    switch (action.kind) {
    case Kind::Start:
        clickRunButton(c.cbStart);
        break;
    case Kind::Stop:
        stop();
        break;
    case Kind::ClearAll:
        clearAll();
        break;
    case Kind::ClearPicture:
        clickOn(c.cbFC);
        m_expected.picture.fill(Qt::transparent);
        break;
    case Kind::Preset:
        preset(action.index);
        break;
    case Kind::Colour:
        chooseColour(action);
        break;
    case Kind::PaletteReset:
        clickOn(c.lblStandardfarben);
        for (size_t n = 0; n < StandardColors.size(); ++n)
            expect(backColor(c.lblF[n]) == StandardColors[n],
                   QStringLiteral("lblF%1 is its standard colour after the reset").arg(n));
        break;
    case Kind::Edit:
        edit(action.index, action.text);
        break;
    case Kind::Zoom:
        zoom(action.position);
        break;
    case Kind::Close:
        closeWindow();
        break;
    }
}

// Runs inside a run's event pass, as a user's click queued there would.
void StressEpisode::performInRun(const Action &action)
{
    if (!m_segment || !m_expected.alive || !m_failure.isEmpty())
        return; // a closed window takes no more clicks
    ++m_stats.actionsInRuns;
    m_log.append(QStringLiteral("  at event pass %1, %2 points drawn: ")
                     .arg(m_segment->passes)
                     .arg(m_segment->drawnAtLastPass)
                 + describe(action));
    m_inAction = true;
    const Controls &c = m_window->controls();
    switch (action.kind) {
    case Kind::Start:
        clickWithoutEffect(c.cbStart);
        break;
    case Kind::ClearAll:
        clickWithoutEffect(c.btC);
        break;
    case Kind::ClearPicture:
        clickWithoutEffect(c.cbFC);
        break;
    case Kind::Preset:
        clickWithoutEffect(c.cbF[size_t(action.index)]);
        break;
    case Kind::Colour:
        clickWithoutEffect(c.btF[size_t(action.index)]);
        break;
    default:
        perform(action);
        break;
    }
    m_inAction = false;
}

// A click that enters the render run: Start, or btStop while paused.
void StressEpisode::clickRunButton(QPushButton *button)
{
    const bool draws = enterRun();
    if (!draws)
        m_plan.clear();
    clickOn(button);
    if (draws)
        finishRun();
}

// The run's start by the protocol's rules: what it resets, whether it
// reads its fields, which mode it takes and where it begins.
bool StressEpisode::enterRun()
{
    ++m_stats.runs;
    const Controls &c = m_window->controls();
    ExpectedWindow &e = m_expected;
    if (!e.resumeRequested) {
        e.lblCounts = QStringLiteral("0");
        e.lblI = QStringLiteral("1");
    }
    const std::optional<RunSection> section = readSection();
    const bool continuing = e.paused && e.resumeRequested;
    const std::optional<std::int64_t> total =
        continuing ? NumberText::fromGrouped(e.lblCounts, QLocale().groupSeparator()) : 0;
    if (!section || !total) {
        ++e.messages;
        ++m_stats.failedStarts;
        return false;
    }
    RunSegment segment;
    segment.table = &kernelTable(*section);
    for (size_t n = 0; n < segment.palette.size(); ++n)
        segment.palette[n] = backColor(c.lblF[n]);
    if (continuing) {
        e.resumeRequested = false;
    } else {
        e.points = 0;
        e.lblPixel = e.lblCounts = QStringLiteral("0");
        e.stopRequested = false;
    }
    e.paused = false;
    e.stopFace = LightRed;
    const int first = e.lblI.toInt();
    segment.firstIndex = std::int64_t((first - GridFirst) / GridStep) * GridPoints;
    segment.length = RunPoints - segment.firstIndex;
    for (std::int64_t k = 0; k < segment.length; ++k) {
        if (!std::isfinite(columnOf(segment.firstIndex + k) * (section->x1 - section->x0))
            || !std::isfinite(rowOf(segment.firstIndex + k) * (section->y1 - section->y0))) {
            segment.length = k;
            segment.overflows = true;
            break;
        }
    }
    segment.pointsBefore = e.points;
    segment.totalBefore = *total;
    segment.barBefore = e.bar;
    if (e.stopRequested) // left over: seen after the first point
        segment.stopAt = 1;
    m_segment = segment;
    return true;
}

// The section and Imax as the fields read by the text-to-number rule.
std::optional<RunSection> StressEpisode::readSection() const
{
    const Controls &c = m_window->controls();
    const QChar point = decimalSeparator();
    const std::optional<double> x0 = NumberText::toNumber(c.txtX0->text(), point);
    const std::optional<double> x1 = NumberText::toNumber(c.txtX1->text(), point);
    const std::optional<double> y0 = NumberText::toNumber(c.txtY0->text(), point);
    const std::optional<double> y1 = NumberText::toNumber(c.txtY1->text(), point);
    const std::optional<std::int16_t> imax = NumberText::toImax(c.txtMaxIter->text(), point);
    if (!x0 || !x1 || !y0 || !y1 || !imax)
        return std::nullopt;
    return RunSection{*x0, *x1, *y0, *y1, *imax};
}

// The actions for a run, each due at one of its first event passes.
void StressEpisode::drawPlan()
{
    m_plan.clear();
    if (m_closeAtFirstPass) {
        m_plan.emplace_back(1, Action{Kind::Close});
        return;
    }
    const int count = 1 + m_rng.below(3);
    for (int n = 0; n < count; ++n) {
        const int pass = 1 + m_rng.below(4);
        m_plan.emplace_back(pass, drawAction(true));
    }
    std::stable_sort(m_plan.begin(), m_plan.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
}

// Called by the platform at every event pass of a run, before the pass
// runs the queued events: the captions, the bar and the picture show the
// run's last point, and the actions due at this pass are queued.
void StressEpisode::onEventPass()
{
    ++m_stats.passes;
    if (!m_failure.isEmpty())
        return;
    if (!expect(!m_inAction, QStringLiteral("a run draws inside a handler that ran during a run"))
        || !expect(m_segment.has_value(), QStringLiteral("an event pass with no run started"))
        || !expect(m_expected.alive, QStringLiteral("an event pass after the window was closed")))
        return;
    RunSegment &s = *m_segment;
    ++s.passes;
    const Controls &c = m_window->controls();
    checkSeventeen(false);
    expect(c.btStop->text() == PauseText, QStringLiteral("btStop reads \"%1\" during a run").arg(c.btStop->text()));
    expect(c.lblI->text() == m_expected.lblI, QStringLiteral("lblI changed during a run"));
    const std::optional<std::int64_t> shown =
        NumberText::fromGrouped(c.lblPixel->text(), QLocale().groupSeparator());
    const std::int64_t drawn = shown.value_or(0) - s.pointsBefore;
    if (!expect(shown && drawn > s.drawnAtLastPass && drawn <= s.length,
                QStringLiteral("lblPixel shows %1 at an event pass, the run had %2 before it and "
                               "%3 at the last pass")
                    .arg(c.lblPixel->text()).arg(s.pointsBefore).arg(s.drawnAtLastPass)))
        return;
    // With Imax >= 1 the total rises with every point, so it pins the count.
    expect(c.lblCounts->text() == grouped(s.total(drawn)),
           QStringLiteral("lblCounts shows %1 after %2 points of the run, the kernel's total is %3")
               .arg(c.lblCounts->text()).arg(drawn).arg(grouped(s.total(drawn))));
    expect(c.lblBar->width() == s.bar(drawn, false),
           QStringLiteral("lblBar is %1 px after %2 points, expected %3")
               .arg(c.lblBar->width()).arg(drawn).arg(s.bar(drawn, false)));
    expect(m_window->picture().pixel(pixelOf(s.firstIndex + drawn - 1)) == s.colorOf(drawn - 1),
           QStringLiteral("point %1 of the run is not drawn in its colour").arg(drawn));
    s.drawnAtLastPass = drawn;
    for (const auto &[pass, action] : m_plan)
        if (pass == s.passes)
            QTimer::singleShot(0, m_window.get(), [this, queued = action] { performInRun(queued); });
}

// Where the run ended: paused at the request, gone after the point that
// followed the close, or at the end of the grid.
void StressEpisode::finishRun()
{
    const RunSegment s = *m_segment;
    m_segment.reset();
    m_plan.clear();
    ExpectedWindow &e = m_expected;
    const bool windowGone = !s.stopAt && s.closeAt && *s.closeAt < s.length;
    const std::int64_t drawn = s.stopAt ? *s.stopAt : windowGone ? *s.closeAt + 1 : s.length;
    s.paint(e.picture, drawn);
    e.points = s.pointsBefore + drawn;
    if (windowGone) {
        ++m_stats.closedMidRun;
        expect(m_window->state().pixelCount == e.points,
               QStringLiteral("the run counted %1 points, expected %2: the point after the close, no more")
                   .arg(m_window->state().pixelCount).arg(e.points));
        expect(m_window->picture() == e.picture,
               QStringLiteral("the picture of a run ended by the close"));
        checkSeventeen(false); // a closed window is not enabled again
        return;
    }
    e.lblPixel = grouped(e.points);
    e.lblCounts = grouped(s.total(drawn));
    e.bar = s.bar(drawn, !s.stopAt);
    if (s.stopAt) {
        ++m_stats.pauses;
        e.lblI = QString::number(columnOf(s.firstIndex + drawn - 1));
        e.lblJ = QString::number(rowOf(s.firstIndex + drawn - 1));
        e.stopRequested = false;
        e.paused = true;
        e.stopFace = LightGreen;
    } else if (s.overflows) {
        ++e.messages;
        ++m_stats.failedStarts;
    } else {
        ++m_stats.completed;
    }
}

bool StressEpisode::expect(bool condition, const QString &what)
{
    if (!condition && m_failure.isEmpty())
        m_failure = QStringLiteral("step %1: %2").arg(m_log.size()).arg(what);
    return condition;
}

QString StressEpisode::describe(const Action &action) const
{
    auto shown = [](const QString &text) {
        return text.size() > 20 ? QStringLiteral("%1 characters \"%2…\"").arg(text.size()).arg(text.left(8))
                                : QLatin1Char('"') + text + QLatin1Char('"');
    };
    const char *const fields[] = {"txtX0", "txtX1", "txtY0", "txtY1", "txtMaxIter"};
    switch (action.kind) {
    case Kind::Start: return QStringLiteral("Start");
    case Kind::Stop: return QStringLiteral("btStop");
    case Kind::ClearAll: return QStringLiteral("btC");
    case Kind::ClearPicture: return QStringLiteral("cbFC");
    case Kind::Preset: return QStringLiteral("cbF%1").arg(action.index);
    case Kind::Colour:
        return QStringLiteral("btF%1, dialog answers %2")
            .arg(action.index)
            .arg(action.colour ? action.colour->name() : QStringLiteral("Cancel"));
    case Kind::PaletteReset: return QStringLiteral("lblStandardfarben");
    case Kind::Edit: return QStringLiteral("type %1 into %2").arg(shown(action.text), fields[action.index]);
    case Kind::Zoom: return QStringLiteral("double-click at (%1, %2)").arg(action.position.x()).arg(action.position.y());
    case Kind::Close: return QStringLiteral("close the window");
    }
    return {};
}

QString StressEpisode::grouped(std::int64_t value) const
{
    return NumberText::grouped(value, QLocale().groupSeparator());
}
