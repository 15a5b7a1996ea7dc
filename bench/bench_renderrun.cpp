// The render run through the real window, from the click on Start to the
// end, against the bare plain kernel over the same grid in the same process;
// the stretches of a run without an event pass; and the cost of letting
// events run after every point. Offscreen unless DISPLAY names an X server.
// The runs use the fast kernel (columns ahead on worker threads) unless the
// name ends in Plain.
//
//   bench_renderrun                                all figures
//   bench_renderrun --benchmark_filter=PerPoint    the per-point protocol only
//
// Counters: ratio = best run / best kernel; gap_max_ms and gap_p99_ms = the
// longest and the 99th-percentile stretch without an event pass, the start
// and the end of the run included; ms_between_passes = the run's time per
// event pass (not below the event interval, 8 ms by default); run_pts_s, run_its_s and kernel_pts_s,
// kernel_its_s = points and iterations (the sum of the counts) per second of
// the best run and of the best bare kernel; whole_run_s = a per-point
// protocol run of 3,000 points extrapolated to 213,444.

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"
#include "core/columnkernel.h"
#include "core/escapetime.h"
#include "core/grid.h"
#include "render/renderrun.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The real platform, noting every stretch between two event passes. With
// `passesPerYield` 100 each yield is the hundred passes first written.
class TimedPlatform : public QtPlatform
{
public:
    void doEvents() override
    {
        gapsMs.push_back(millisecondsSince(m_lastPass));
        const Clock::time_point start = Clock::now();
        for (int n = 0; n < passesPerYield; ++n)
            QtPlatform::doEvents();
        if (afterPass)
            afterPass();
        m_lastPass = Clock::now();
        passesMs += std::chrono::duration<double, std::milli>(m_lastPass - start).count();
        ++passes;
    }

    void startRun() { m_lastPass = Clock::now(); }
    void endRun() { gapsMs.push_back(millisecondsSince(m_lastPass)); }

    int passesPerYield = 1;
    std::function<void()> afterPass;
    std::vector<double> gapsMs;
    double passesMs = 0;
    int passes = 0;

private:
    Clock::time_point m_lastPass;
};

struct TypedSection
{
    const char *x0, *x1, *y0, *y1, *imax;
    double x0v, x1v, y0v, y1v;
    std::int16_t imaxv;
};

const TypedSection StartSection{"-1,4025", "-1,4020", "0,0000", "0,0005", "300",
                           -1.4025, -1.4020, 0.0, 0.0005, 300};
const TypedSection Example1{"-2", "2", "-2", "2", "32767", -2, 2, -2, 2, 32767};
const TypedSection Example4{"-0,65", "-0,60", "0,375", "0,425", "32767", -0.65, -0.60, 0.375, 0.425,
                       32767};

struct Program
{
    TimedPlatform platform;
    MainWindow *window = nullptr;
    RenderRun *run = nullptr;
};

Program *program = nullptr;

void enter(const TypedSection &s)
{
    const Controls &c = program->window->controls();
    c.txtX0->setText(QString::fromLatin1(s.x0));
    c.txtX1->setText(QString::fromLatin1(s.x1));
    c.txtY0->setText(QString::fromLatin1(s.y0));
    c.txtY1->setText(QString::fromLatin1(s.y1));
    c.txtMaxIter->setText(QString::fromLatin1(s.imax));
}

// Qt's drawing may leave the upper halves of the AVX registers in use,
// which halves the speed of SSE code; the run clears them, so the bare
// kernel starts from the same clean state.
__attribute__((target("avx"))) void zeroUpperHalves()
{
    _mm256_zeroupper();
}

// The same grid and kernel calls as the run, and nothing else.
std::int64_t bareKernel(const TypedSection &s)
{
    if (__builtin_cpu_supports("avx"))
        zeroUpperHalves();
    std::int64_t total = 0;
    for (int i = GridFirst; i <= GridLimit; i += GridStep) {
        const double cx = gridReal(s.x0v, s.x1v, i);
        for (int j = GridFirst; j <= GridLimit; j += GridStep)
            total += punkt_iteration(cx, gridImag(s.y0v, s.y1v, j), EscapeBound, s.imaxv);
    }
    return total;
}

// From the click on Start to the end, the last repaint included.
double timedRun()
{
    const Clock::time_point start = Clock::now();
    program->platform.startRun();
    program->window->controls().cbStart->click();
    program->platform.endRun();
    QCoreApplication::processEvents();
    return millisecondsSince(start);
}

void reportGaps(benchmark::State &state)
{
    std::vector<double> &gaps = program->platform.gapsMs;
    std::sort(gaps.begin(), gaps.end());
    state.counters["gap_max_ms"] = gaps.back();
    state.counters["gap_p99_ms"] = gaps[gaps.size() * 99 / 100];
    state.counters["passes"] = double(program->platform.passes) / double(state.iterations());
    // Events run every few milliseconds, never once per point: the time
    // between two passes is at least the run's event interval.
    if (program->platform.passes > 0)
        state.counters["ms_between_passes"] =
            std::accumulate(gaps.begin(), gaps.end(), 0.0) / program->platform.passes;
    if (program->platform.passes > 0)
        state.counters["ms_per_pass"] = program->platform.passesMs / program->platform.passes;
    gaps.clear();
    program->platform.passes = 0;
    program->platform.passesMs = 0;
}

// The machine is shared, so each side is timed several times, alternating,
// and the best of each is compared: what the code costs without the noise.
void runAgainstKernel(benchmark::State &state, const TypedSection &section,
                      RenderRun::Kernel kernel = RenderRun::Kernel::Fast)
{
    enter(section);
    program->run->setKernel(kernel);
    double kernelBest = 1e300, runBest = 1e300;
    std::int64_t iterations = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        iterations = bareKernel(section);
        benchmark::DoNotOptimize(iterations);
        kernelBest = std::min(kernelBest, millisecondsSince(start));
        const double ms = timedRun();
        runBest = std::min(runBest, ms);
        state.SetIterationTime(ms / 1000);
    }
    program->run->setKernel(RenderRun::Kernel::Fast);
    constexpr double Points = GridPoints * GridPoints;
    state.counters["kernel_ms"] = kernelBest;
    state.counters["run_ms"] = runBest;
    state.counters["ratio"] = runBest / kernelBest;
    state.counters["run_pts_s"] = Points / runBest * 1000;
    state.counters["run_its_s"] = double(iterations) / runBest * 1000;
    state.counters["kernel_pts_s"] = Points / kernelBest * 1000;
    state.counters["kernel_its_s"] = double(iterations) / kernelBest * 1000;
    reportGaps(state);
}

void BM_StartSection(benchmark::State &state)
{
    runAgainstKernel(state, StartSection);
}
BENCHMARK(BM_StartSection)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_StartSectionPlain(benchmark::State &state)
{
    runAgainstKernel(state, StartSection, RenderRun::Kernel::Plain);
}
BENCHMARK(BM_StartSectionPlain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The run's own cost per point with the plain kernel: no event pass at all.
void BM_StartSectionNoEventsPlain(benchmark::State &state)
{
    program->run->setEventInterval(1'000'000);
    runAgainstKernel(state, StartSection, RenderRun::Kernel::Plain);
    program->run->setEventInterval(RenderRun::DefaultEventIntervalMs);
}
BENCHMARK(BM_StartSectionNoEventsPlain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Example1(benchmark::State &state)
{
    runAgainstKernel(state, Example1);
}
BENCHMARK(BM_Example1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Example1Plain(benchmark::State &state)
{
    runAgainstKernel(state, Example1, RenderRun::Kernel::Plain);
}
BENCHMARK(BM_Example1Plain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// Slow inside the set: some 6,000 points never repeat exactly, so no cycle
// check shortens them; the bare plain kernel takes over 10 s.
void BM_Example4(benchmark::State &state)
{
    runAgainstKernel(state, Example4);
}
BENCHMARK(BM_Example4)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Example4Plain(benchmark::State &state)
{
    runAgainstKernel(state, Example4, RenderRun::Kernel::Plain);
}
BENCHMARK(BM_Example4Plain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Both captions and the points after every point, then `passes` event
// passes (100 as first written, 1 for comparison); 3,000 points of the
// start section, paused through btStop, extrapolated to a whole run.
void BM_PerPointProtocol(benchmark::State &state)
{
    constexpr int SamplePoints = 3000;
    constexpr double WholeRun = GridPoints * GridPoints;
    enter(StartSection);
    TimedPlatform &platform = program->platform;
    program->run->setEventInterval(0);
    program->run->setKernel(RenderRun::Kernel::Plain);
    platform.passesPerYield = int(state.range(0));
    platform.afterPass = [] {
        if (program->window->state().pixelCount == SamplePoints)
            program->window->controls().btStop->click();
    };
    double runMs = 0;
    for (auto _ : state) {
        const double ms = timedRun();
        runMs += ms;
        state.SetIterationTime(ms / 1000);
    }
    platform.afterPass = nullptr;
    platform.passesPerYield = 1;
    platform.gapsMs.clear();
    program->run->setEventInterval(RenderRun::DefaultEventIntervalMs);
    program->run->setKernel(RenderRun::Kernel::Fast);
    const double perPointMs = runMs / double(state.iterations()) / SamplePoints;
    state.counters["us_per_point"] = perPointMs * 1000;
    state.counters["whole_run_s"] = perPointMs * WholeRun / 1000;
}
BENCHMARK(BM_PerPointProtocol)
    ->Arg(100)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setUpApplication(app);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    Program instance;
    program = &instance;
    MainWindow window(instance.platform);
    instance.window = &window;
    instance.run = window.findChild<RenderRun *>();
    window.show();
    for (int n = 0; n < 10; ++n)
        QCoreApplication::processEvents();

    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("fast_kernel",
                                std::string(kernelPathName(bestKernelPath())) + ", "
                                    + std::to_string(kernelPathWidth(KernelPath::Best))
                                    + " doubles per register");
    benchmark::AddCustomContext(
        "column_workers", std::to_string(std::max(1u, std::thread::hardware_concurrency())));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
