// The escape-time kernel over the render run's full grid of 462 × 462
// points, reported as points and iterations per second of CPU time.

#include "core/escapetime.h"
#include "core/grid.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

struct KernelSection
{
    double x0, x1, y0, y1;
    std::int16_t maxIter;
};

// The section the window starts with, and the first example (the whole set).
constexpr KernelSection StartSection{-1.4025, -1.4020, 0.0, 0.0005, 300};
constexpr KernelSection WholeSet{-2.0, 2.0, -2.0, 2.0, 32767};

// One grid in the render run's order, column by column.
std::int64_t iterateGrid(const KernelSection &section)
{
    std::int64_t total = 0;
    for (int i = GridFirst; i <= GridLimit; i += GridStep) {
        const double cx = gridReal(section.x0, section.x1, i);
        for (int j = GridFirst; j <= GridLimit; j += GridStep)
            total += punkt_iteration(cx, gridImag(section.y0, section.y1, j), EscapeBound,
                                     section.maxIter);
    }
    return total;
}

void kernelGrid(benchmark::State &state, const KernelSection &section)
{
    std::int64_t perGrid = 0;
    for (auto _ : state) {
        perGrid = iterateGrid(section);
        benchmark::DoNotOptimize(perGrid);
    }
    const double grids = double(state.iterations());
    using benchmark::Counter;
    state.counters["points/s"] = Counter(grids * GridPoints * GridPoints, Counter::kIsRate);
    state.counters["iterations/s"] = Counter(grids * double(perGrid), Counter::kIsRate);
    state.counters["iterations/grid"] = Counter(double(perGrid));
}

BENCHMARK_CAPTURE(kernelGrid, start_section_imax300, StartSection)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(kernelGrid, example1_imax32767, WholeSet)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
