// Whole 462 × 462 grids through each column kernel path. Every fast path's
// time is also given as a ratio to the plain loop's time over the same grid
// in the same run ("vs_plain"), since absolute times on a shared machine
// mean little. StopWhileBusy: how long ColumnsAhead's stop() and its
// destructor wait for workers busy with slow columns (each finishes the
// column it is computing, nothing more).
#include "core/columnkernel.h"
#include "core/columnsahead.h"
#include "core/grid.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

namespace {

struct GridCase
{
    const char *name;
    Section section;
    std::int16_t imax;
};

const GridCase Cases[] = {
    {"start/imax300", {-1.4025, -1.4020, 0.0, 0.0005}, 300},
    {"example1/imax32767", {-2.0, 2.0, -2.0, 2.0}, 32767},
    {"example4/imax32767", {-0.65, -0.60, 0.375, 0.425}, 32767},
    {"neck/imax32767", {-0.75001, -0.74999, -0.00001, 0.00001}, 32767},
};

// `batch`: grid columns per computeColumns call (462: the whole grid at once).
struct Variant
{
    const char *name;
    bool plain;
    KernelPath path;
    CycleCheck cycles;
    int batch;
};

const Variant Variants[] = {
    {"plain", true, KernelPath::Scalar, CycleCheck::Off, 1},
    {"scalar+cycles", false, KernelPath::Scalar, CycleCheck::On, 1},
    {"sse2", false, KernelPath::Sse2, CycleCheck::Off, 1},
    {"sse2+cycles", false, KernelPath::Sse2, CycleCheck::On, 1},
    {"avx2", false, KernelPath::Avx2, CycleCheck::Off, 1},
    {"avx2+cycles", false, KernelPath::Avx2, CycleCheck::On, 1},
    {"avx512", false, KernelPath::Avx512, CycleCheck::Off, 1},
    {"avx512+cycles", false, KernelPath::Avx512, CycleCheck::On, 1},
    {"best/column", false, KernelPath::Best, CycleCheck::On, 1},
    {"best/batch4", false, KernelPath::Best, CycleCheck::On, 4},
    {"best/batch8", false, KernelPath::Best, CycleCheck::On, 8},
    {"best/batch32", false, KernelPath::Best, CycleCheck::On, 32},
    {"best/grid", false, KernelPath::Best, CycleCheck::On, GridPoints},
    {"best", false, KernelPath::Best, CycleCheck::On, 32},
};

// Processor time of this thread: other programs on the machine do not count.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Seconds per grid of the plain loop, per case, measured earlier in this run.
std::map<std::string, double> &plainSeconds()
{
    static std::map<std::string, double> seconds;
    return seconds;
}

struct GridWork
{
    std::int64_t iterations = 0; // the sum of the counts
    std::int64_t steps = 0;      // the steps actually taken
    std::int64_t insideShortcuts = 0;
};

GridWork computeGrid(const GridCase &c, const Variant &v)
{
    GridWork grid;
    std::vector<std::int16_t> counts(std::size_t(v.batch) * GridPoints);
    for (int first = 0; first < GridPoints; first += v.batch) {
        const int columns = std::min(v.batch, GridPoints - first);
        const int i = GridFirst + first * GridStep;
        if (v.plain) {
            computeColumnPlain(c.section, i, c.imax, counts.data());
        } else {
            const ColumnWork work =
                computeColumns(c.section, i, columns, c.imax, counts.data(), v.path, v.cycles);
            grid.steps += work.steps;
            grid.insideShortcuts += work.insideShortcuts;
        }
        for (int k = 0; k < columns * GridPoints; ++k)
            grid.iterations += counts[std::size_t(k)];
    }
    if (v.plain)
        grid.steps = grid.iterations;
    return grid;
}

void runGrid(benchmark::State &state, const GridCase &c, const Variant &v)
{
    GridWork grid;
    const double start = threadSeconds();
    for (auto _ : state) {
        grid = computeGrid(c, v);
        benchmark::DoNotOptimize(grid);
    }
    const double perGrid = (threadSeconds() - start) / state.iterations();

    const double grids = static_cast<double>(state.iterations());
    const double points = GridPoints * GridPoints;
    state.counters["points/s"] = benchmark::Counter(grids * points, benchmark::Counter::kIsRate);
    state.counters["iterations/s"] = benchmark::Counter(
        grids * static_cast<double>(grid.iterations), benchmark::Counter::kIsRate);
    // The share of the plain loop's steps still taken, and of the points
    // answered by the cardioid and disc test.
    state.counters["steps_left"] = static_cast<double>(grid.steps) / grid.iterations;
    state.counters["inside"] = grid.insideShortcuts / points;
    if (v.plain)
        plainSeconds()[c.name] = perGrid;
    else if (plainSeconds().count(c.name) != 0) {
        state.counters["vs_plain"] = perGrid / plainSeconds()[c.name];
        state.counters["speedup"] = plainSeconds()[c.name] / perGrid;
    }
}

// A sliver at the Feigenbaum point, Imax 32767: every column keeps a
// worker busy for a while.
constexpr Section NearFeigenbaum{-1.40116, -1.40114, -0.00001, 0.00001};

double millisecondsOf(const std::function<void()> &action)
{
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// state.range(0): 0 stops through stop(), 1 through the destructor.
void BM_StopWhileBusy(benchmark::State &state)
{
    double worstMs = 0;
    for (auto _ : state) {
        auto ahead = std::make_unique<ColumnsAhead>(2, ColumnsAhead::DefaultWindow);
        ahead->start(NearFeigenbaum, 32767, 1);
        ahead->next(ColumnsAhead::Clock::now() + std::chrono::seconds(60));
        const double ms = millisecondsOf([&] {
            if (state.range(0) == 0)
                ahead->stop();
            else
                ahead.reset();
        });
        worstMs = std::max(worstMs, ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["worst_ms"] = worstMs;
}

} // namespace

BENCHMARK(BM_StopWhileBusy)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    for (const GridCase &c : Cases) {
        for (const Variant &v : Variants) {
            if (!v.plain && !kernelPathAvailable(v.path))
                continue;
            const std::string name = std::string(c.name) + "/" + v.name;
            benchmark::RegisterBenchmark(name.c_str(), [&c, &v](benchmark::State &state) {
                runGrid(state, c, v);
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::AddCustomContext("vector width",
                                std::to_string(kernelPathWidth(KernelPath::Best) * 64) + " bit ("
                                    + kernelPathName(bestKernelPath()) + ")");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
