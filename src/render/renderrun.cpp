#include "render/renderrun.h"

#include "core/columnsahead.h"
#include "core/decimalseparator.h"
#include "core/escapetime.h"
#include "core/grid.h"
#include "core/numbertext.h"
#include "core/swatchtable.h"
#include "form/backcolor.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"
#include "form/inputmessage.h"
#include "form/pausecaptions.h"
#include "form/platform.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Reading the clock costs about 50 ns here, as much as a point of a few
// iterations, so the run reads it only after some work: each point counts
// its iterations plus PointWork for its drawing, and the clock is read once
// ClockReadWork is reached (some 10 µs of computing). Iterations count only
// where this thread runs them, with the plain kernel.
constexpr int PointWork = 10;
constexpr int ClockReadWork = 2000;

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void zeroUpperHalves()
{
    _mm256_zeroupper();
}
#endif

// Qt's raster drawing (its AVX2 fill, for one) can return with the upper
// halves of the vector registers still in use; the kernel's SSE code then
// runs at half speed on this machine until they are cleared. So the run
// clears them whenever it gets control back from the event loop.
void resetVectorState()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool hasAvx = (__builtin_cpu_init(), __builtin_cpu_supports("avx"));
    if (hasAvx)
        zeroUpperHalves();
#endif
}

// The first grid index whose mapping to the plane overflows: where the span
// upper − lower, or the index times it, leaves the double range. The
// product grows with the index, so every later index overflows too.
int firstOverflowingIndex(double lower, double upper)
{
    const double span = upper - lower;
    for (int index = GridFirst; index <= GridLimit; index += GridStep) {
        if (!std::isfinite(index * span))
            return index;
    }
    return GridLimit + 1;
}

} // namespace

RenderRun::RenderRun(const RunControls &controls, FormState &state, DrawingSurface &surface,
                     Platform &platform, QWidget *window, QObject *parent)
    : QObject(parent),
      m_controls(controls),
      m_state(state),
      m_surface(surface),
      m_platform(platform),
      m_window(window)
{
    setEventInterval(DefaultEventIntervalMs);
}

void RenderRun::setEventInterval(int milliseconds)
{
    m_eventIntervalMs = milliseconds;
    m_workBetweenClockReads = milliseconds > 0 ? ClockReadWork : 0;
}

void RenderRun::run()
{
    FormState &state = m_state;
    const RunPhase before = state.runPhase;
    state.runPhase = RunPhase::Drawing;
    // The click's own handling counts towards the first stretch without an
    // event pass: disabling the buttons and setting captions takes a while.
    m_sinceEvents.start();
    const RunControls &c = m_controls;
    if (!state.resumeRequested) {
        state.pausedTotal = 0;
        c.lblCounts->setText(NumberText::fromWhole(state.pausedTotal));
        state.resumeColumn = GridFirst;
        c.lblI->setText(NumberText::fromWhole(state.resumeColumn));
    }
    setControlsEnabled(false);

    const std::optional<Setup> setup = start(before == RunPhase::Paused);
    if (!setup) {
        fail();
        // Nothing was read, so a paused run is still paused.
        state.runPhase = before;
        return;
    }
    emit started(setup->drawing, setup->continued);
    Progress progress{setup->countsTotal, 0, 0};
    const End end = walk(*setup, progress);
    state.runPhase = end == End::Paused ? RunPhase::Paused : RunPhase::Idle;
    // The window is going away: nothing more is written to it.
    if (end == End::WindowGone)
        return;
    // Whatever else ended the run, the captions and the picture show its last point.
    showProgress(*setup, progress);
    if (end == End::Failed)
        fail();
    else
        setControlsEnabled(true);
    if (end == End::Paused)
        state.pausedTotal = progress.countsTotal;
    if (end == End::Completed)
        emit completed();
}

std::optional<RenderRun::Setup> RenderRun::start(bool wasPaused)
{
    Setup setup{};
    setup.groupSeparator = QLocale().groupSeparator();
    if (!readFields(setup))
        return std::nullopt;
    chooseMode(setup, wasPaused);
    setup.firstColumn = m_state.resumeColumn;
    const Section &section = setup.drawing.section;
    setup.overflowColumn = firstOverflowingIndex(section.x0, section.x1);
    setup.overflowRow = firstOverflowingIndex(section.y0, section.y1);
    return setup;
}

// The section, Imax and the palette, read afresh by every run, a continued
// one too: edits made during a pause apply to the columns still to come.
bool RenderRun::readFields(Setup &setup) const
{
    const RunControls &c = m_controls;
    Drawing &drawing = setup.drawing;
    drawing.fieldTexts = {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text(),
                          c.txtMaxIter->text()};
    const QChar point = decimalSeparator();
    const std::optional<double> x0 = NumberText::toNumber(drawing.fieldTexts[0], point);
    const std::optional<double> x1 = NumberText::toNumber(drawing.fieldTexts[1], point);
    const std::optional<double> y0 = NumberText::toNumber(drawing.fieldTexts[2], point);
    const std::optional<double> y1 = NumberText::toNumber(drawing.fieldTexts[3], point);
    const std::optional<std::int16_t> imax = NumberText::toImax(drawing.fieldTexts[4], point);
    if (!x0 || !x1 || !y0 || !y1 || !imax)
        return false;
    drawing.section = {*x0, *x1, *y0, *y1};
    drawing.imax = *imax;
    for (size_t n = 0; n < drawing.palette.size(); ++n)
        drawing.palette[n] = backColor(c.lblF[n]);
    return true;
}

// Continue mode carries the paused total on in the 64-bit range the run
// counts in, so a run paused beyond 2^31 can still be continued.
void RenderRun::chooseMode(Setup &setup, bool wasPaused)
{
    const RunControls &c = m_controls;
    FormState &state = m_state;
    c.btStop->setText(PauseCaption);
    setBackColor(c.btStop, RunningColor);
    if (wasPaused && state.resumeRequested) {
        setup.countsTotal = state.pausedTotal;
        state.resumeRequested = false;
        setup.continued = true;
        return;
    }
    state.pixelCount = 0;
    c.lblPixel->setText(QStringLiteral("0"));
    setup.countsTotal = 0;
    c.lblCounts->setText(QStringLiteral("0"));
    state.stopRequested = false;
    setup.continued = false;
}

RenderRun::End RenderRun::walk(const Setup &setup, Progress &progress)
{
    resetVectorState();
    if (m_kernel == Kernel::Fast) {
        ColumnsAhead ahead;
        // Without a single worker thread the plain kernel still draws it all.
        if (ahead.start(setup.drawing.section, setup.drawing.imax, setup.firstColumn))
            return walkAhead(ahead, setup, progress);
    }
    return walkPlain(setup, progress);
}

RenderRun::End RenderRun::walkPlain(const Setup &setup, Progress &progress)
{
    const Section &s = setup.drawing.section;
    for (int i = setup.firstColumn; i <= GridLimit; i += GridStep) {
        const double cx = gridReal(s.x0, s.x1, i);
        for (int j = GridFirst; j <= GridLimit; j += GridStep) {
            if (overflowsAt(i, j, setup))
                return End::Failed;
            const std::int16_t count =
                punkt_iteration(cx, gridImag(s.y0, s.y1, j), EscapeBound, setup.drawing.imax);
            progress.workSinceClock += count;
            if (const std::optional<End> end = takePoint(i, j, count, setup, progress))
                return *end;
        }
        progress.lastColumnDone = i;
    }
    return End::Completed;
}

// The workers' columns, drawn point by point exactly as walkPlain draws its
// own: a pause still comes after the point in progress. When the next column
// is late and an event pass is due, this thread computes the next point
// itself, so that the pass follows a new point as with the plain kernel;
// a column that arrives after some of its points were drawn that way is
// used from the first point not yet drawn. Columns computed ahead but not
// drawn are dropped when `ahead` goes.
RenderRun::End RenderRun::walkAhead(ColumnsAhead &ahead, const Setup &setup, Progress &progress)
{
    int received = setup.firstColumn - GridStep; // the last column taken from `ahead`
    const std::int16_t *counts = nullptr;        // its counts
    for (int i = setup.firstColumn; i <= GridLimit; i += GridStep) {
        for (int k = 0; k < GridPoints; ++k) {
            while (received < i) {
                const std::int16_t *column = nextColumn(ahead);
                if (!column)
                    break;
                counts = column;
                received += GridStep;
            }
            const int j = GridFirst + k * GridStep;
            if (overflowsAt(i, j, setup))
                return End::Failed;
            const std::int16_t count =
                received == i ? counts[k] : countHere(i, j, setup, progress);
            if (const std::optional<End> end = takePoint(i, j, count, setup, progress))
                return *end;
        }
        progress.lastColumnDone = i;
    }
    return End::Completed;
}

// The next column's counts, waited for at most until the next event pass is
// due. Once the window is gone nothing is waited for: only one more point
// is computed then.
const std::int16_t *RenderRun::nextColumn(ColumnsAhead &ahead) const
{
    if (!m_state.formAlive)
        return nullptr;
    const std::int64_t leftNs =
        std::int64_t(m_eventIntervalMs) * 1'000'000 - m_sinceEvents.nsecsElapsed();
    return ahead.next(ColumnsAhead::Clock::now()
                      + std::chrono::nanoseconds(std::max<std::int64_t>(leftNs, 0)));
}

// A point whose column is late: computed on this thread, and the clock read
// right after it is drawn, since the pass it waited for is due.
std::int16_t RenderRun::countHere(int i, int j, const Setup &setup, Progress &progress) const
{
    progress.workSinceClock += m_workBetweenClockReads;
    const Section &s = setup.drawing.section;
    return punkt_iteration(gridReal(s.x0, s.x1, i), gridImag(s.y0, s.y1, j), EscapeBound,
                           setup.drawing.imax);
}

// Runs for every point, so it only counts and draws; the captions are
// written when events are about to run and at the end. The caller adds the
// point's iterations to workSinceClock if this thread did them.
inline std::optional<RenderRun::End> RenderRun::takePoint(int i, int j, std::int16_t count,
                                                          const Setup &setup, Progress &progress)
{
    FormState &state = m_state;
    state.lastCount = count;
    progress.countsTotal += count;
    m_surface.setPoint(gridPointTwips(i, j), setup.drawing.palette[size_t(swatchForCount(count))]);
    if (state.pixelCount == std::numeric_limits<std::int32_t>::max())
        return End::Failed;
    ++state.pixelCount;
    if (!state.formAlive)
        return End::WindowGone;
    progress.workSinceClock += PointWork;
    if (progress.workSinceClock >= m_workBetweenClockReads) {
        progress.workSinceClock = 0;
        if (m_sinceEvents.elapsed() >= m_eventIntervalMs)
            letEventsRun(setup, progress);
    }
    if (state.stopRequested) {
        pause(i, j);
        return End::Paused;
    }
    return std::nullopt;
}

// One pass of the event loop costs far more than a point (tens to hundreds
// of microseconds), so the run lets events run only every few milliseconds:
// often enough to stay responsive, rarely enough to cost little. Before
// each pass the display catches up, so any handler sees the last point.
void RenderRun::letEventsRun(const Setup &setup, const Progress &progress)
{
    showProgress(setup, progress);
    m_platform.doEvents();
    resetVectorState();
    m_sinceEvents.restart();
}

void RenderRun::pause(int i, int j)
{
    const RunControls &c = m_controls;
    m_state.resumeColumn = i;
    c.lblI->setText(NumberText::fromWhole(i));
    c.lblJ->setText(NumberText::fromWhole(j));
    m_state.stopRequested = false;
    c.btStop->setText(ContinueCaption);
    setBackColor(c.btStop, PausedColor);
}

void RenderRun::showProgress(const Setup &setup, const Progress &progress)
{
    const RunControls &c = m_controls;
    c.lblCounts->setText(NumberText::grouped(progress.countsTotal, setup.groupSeparator));
    c.lblPixel->setText(NumberText::grouped(m_state.pixelCount, setup.groupSeparator));
    if (progress.lastColumnDone != 0)
        c.lblBar->resize(barWidthPixels(progress.lastColumnDone), c.lblBar->height());
    m_surface.showPoints();
    emit countsShown({m_state.pixelCount, progress.countsTotal});
}

void RenderRun::fail()
{
    m_platform.messageBox(m_window, InputMessageTitle, InputMessageText);
    setControlsEnabled(true);
}

// Everything that could start a second run or disturb this one: start,
// clear, presets, colour choosers. btStop, the fields and the window itself
// stay live.
void RenderRun::setControlsEnabled(bool enabled)
{
    for (QWidget *control : m_controls.lockedWhileRunning)
        control->setEnabled(enabled);
}
