// The deep kernel's figures that docs/deepzoom.md quotes:
//   exactness: six places from 1E-20 to 1E-1000 (three of them minibrots,
//              one below the double range), sampled pixels of a 1920 × 1080
//              view compared with the plain MPFR loop at P and 2P bits:
//              differences on determined pixels (where the two agree),
//              the share undetermined, the shares of doubtful pixels
//              decided in double-double and recomputed by the plain loop;
//   speed:     a still of the period-1053 minibrot at Imax 50,000 on both
//              cores, reference orbit included, with peak memory;
//   rate:      deep iterations per second against the double column kernel
//              on example 4 (Imax 32767, one core, same points);
//   doubts:    every pixel the lanes leave in doubt on example 4 and at the
//              still's place (480 x 270), counted with the second chance,
//              against the plain loop at P and 2P bits (not in "all").
// Usage: bench_deep [exactness] [speed[=WxH]] [rate] [doubts] [--samples=N] [--no-interior]
//                   [--no-skip] [--skip-epsilon=E] [--no-second-chance]
// (no argument: all three; speed at 480 × 270 unless WxH is given;
// --no-interior: the still without the interior test; --no-skip: every step
// taken; --skip-epsilon=E: the skip table's radius per step 2^E;
// --no-second-chance: every doubtful pixel straight to the plain loop).
#include "core/columnkernel.h"
#include "deep/deepkernel.h"
#include "deep/lanejob.h"
#include "deep/plainloop.h"
#include "minibrots.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Place
{
    const char *name;
    const char *re, *im, *width;
    long imax;
    int samples;
};

const Place Places[] = {
    {"Misiurewicz i, 1E-20", "0", "1", "1E-20", 50000, 4000},
    {"minibrot period 81, 1E-59", Mini81Re, Mini81Im, "1E-59", 50000, 4000},
    {"minibrot period 1053, 2E-68", Mini1053Re, Mini1053Im, "2E-68", 50000, 4000},
    {"Misiurewicz i, 1E-320", "0", "1", "1E-320", 10000, 4000},
    {"Misiurewicz i, 1E-1000", "0", "1", "1E-1000", 10000, 1000},
    {"minibrot period 399, 2E-299", Mini399Re, Mini399Im, "2E-299", 20000, 1000},
};
const Place &StillPlace = Places[2];
constexpr int StillWide = 1920;
constexpr int StillHigh = 1080;

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int threads()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs job(k) for k < count on every core.
template <class Job>
void onAllCores(int count, Job job)
{
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads(); ++t)
        workers.emplace_back([&] {
            for (int k = next++; k < count; k = next++)
                job(k);
        });
    for (std::thread &worker : workers)
        worker.join();
}

DeepView viewOf(const Place &place, int wide, int high)
{
    return *DeepView::make(place.re, place.im, place.width, wide, high);
}

struct Comparison
{
    std::atomic<long> determined{0}, undetermined{0}, differences{0};
};

void compareSample(const DeepKernel &kernel, int p, int q, long imax, Comparison &result,
                   DeepWork &work)
{
    const DeepView &view = kernel.view();
    const long count = kernel.count(p, q, work);
    MpReal cx(view.precision()), cy(view.precision());
    view.pixelRe(p, cx.get());
    view.pixelIm(q, cy.get());
    const long atP = plainLoopCount(cx.get(), cy.get(), imax);
    // The same point, the loop's operations rounded to 2P bits.
    MpReal cx2(2 * view.precision()), cy2(2 * view.precision());
    mpfr_set(cx2.get(), cx.get(), MPFR_RNDN);
    mpfr_set(cy2.get(), cy.get(), MPFR_RNDN);
    const long at2P = plainLoopCount(cx2.get(), cy2.get(), imax);
    if (atP != at2P) {
        ++result.undetermined;
        return;
    }
    ++result.determined;
    if (count != atP) {
        ++result.differences;
        std::printf("  difference at (%d, %d): %ld, plain loop %ld\n", p, q, count, atP);
    }
}

struct Options
{
    bool interior = true;
    bool skipping = true;
    int skipExponent = 0; // 0: the table's default
    bool secondChance = true;
};

void configure(DeepKernel &kernel, const Options &options)
{
    kernel.setInteriorTest(options.interior);
    kernel.setStepSkipping(options.skipping);
    kernel.setSecondChance(options.secondChance);
    if (options.skipExponent != 0)
        kernel.setSkipEpsilon(std::ldexp(1.0, options.skipExponent));
}

void exactness(int samplesOverride, const Options &options)
{
    std::printf("exactness: sampled pixels of %d x %d views against the plain MPFR loop at P and 2P bits\n",
                StillWide, StillHigh);
    for (const Place &place : Places) {
        const auto start = Clock::now();
        DeepKernel kernel(viewOf(place, StillWide, StillHigh), place.imax);
        configure(kernel, options);
        const int samples = samplesOverride > 0 ? samplesOverride : place.samples;
        Comparison result;
        std::vector<DeepWork> work(samples);
        onAllCores(samples, [&](int k) {
            // A fixed scatter over the picture.
            const unsigned long h = (k + 1) * 2654435761ul;
            compareSample(kernel, int(h % StillWide), int((h / StillWide) % StillHigh),
                          place.imax, result, work[k]);
        });
        DeepWork total;
        for (const DeepWork &w : work)
            total += w;
        std::printf("%-32s P %4ld bits, %d pixels: %ld differences on %ld determined, "
                    "%.2f %% undetermined, %.2f %% decided in double-double, %.2f %% recomputed, "
                    "%.2f %% proven interior, %ld rebases, "
                    "%.3g steps taken, %.3g skipped by %.3g nodes, %.1f s\n",
                    place.name, long(kernel.view().precision()), samples,
                    result.differences.load(), result.determined.load(),
                    100.0 * double(result.undetermined) / samples,
                    100.0 * double(total.secondChances) / samples,
                    100.0 * double(total.recomputed) / samples,
                    100.0 * double(total.interior) / samples, long(total.rebases),
                    double(total.steps), double(total.skipped), double(total.skips), since(start));
        std::fflush(stdout);
    }
}

// FNV-1a over the values' bytes: a fingerprint of a picture's counts, so
// that a faster kernel can be checked to count exactly as before.
template <typename T>
std::uint64_t countSum(const T *values, int n)
{
    constexpr std::uint64_t Basis = 0xcbf29ce484222325ull, Prime = 0x100000001b3ull;
    std::uint64_t sum = Basis;
    for (int k = 0; k < n; ++k) {
        const auto value = static_cast<std::uint64_t>(values[k]);
        for (int b = 0; b < 64; b += 8)
            sum = (sum ^ ((value >> b) & 0xFF)) * Prime;
    }
    return sum;
}

void speed(int wide, int high, const Options &options)
{
    const auto start = Clock::now();
    const double processStart = processSeconds();
    DeepKernel kernel(viewOf(StillPlace, wide, high), StillPlace.imax);
    configure(kernel, options);
    const double referenceSeconds = since(start);
    std::vector<DeepWork> work(high);
    std::vector<std::uint64_t> rowSums(high);
    std::vector<std::int64_t> rows(std::size_t(threads()) * wide);
    std::atomic<int> slot{0};
    std::atomic<long> atImax{0};
    onAllCores(high, [&](int q) {
        thread_local int mine = slot++;
        std::int64_t *row = rows.data() + std::size_t(mine) * wide;
        kernel.countRow(q, row, work[q]);
        atImax += std::count(row, row + wide, StillPlace.imax);
        rowSums[q] = countSum(row, wide);
    });
    DeepWork total;
    for (const DeepWork &w : work)
        total += w;
    // The rows' sums in order: a change of any count changes it.
    const std::uint64_t checksum = countSum(rowSums.data(), high);
    const double wall = since(start);
    double load[3] = {};
    getloadavg(load, 3);
    std::printf("speed: %s at %d x %d, Imax %ld, %d threads, interior test %s, skipping %s, "
                "second chance %s: "
                "%.2f s wall (reference orbit and skip table %.3f s, %ld steps, %zu + %zu bytes), "
                "%.2f s processor; %.3g steps taken, %.3g skipped by %.3g nodes, "
                "%.1f M steps/s of wall; "
                "%.3f %% decided in double-double (%.3g steps), %.3f %% recomputed, "
                "%.1f %% at Imax, %.1f %% proven interior (near return %ld); "
                "counts' checksum %016llx; peak %ld MB; load average %.1f\n",
                StillPlace.name, wide, high, StillPlace.imax, threads(),
                options.interior ? "on" : "off", options.skipping ? "on" : "off",
                options.secondChance ? "on" : "off", wall,
                referenceSeconds, long(kernel.reference().last()), kernel.reference().bytes(),
                kernel.skipTable().bytes(),
                processSeconds() - processStart, double(total.steps), double(total.skipped),
                double(total.skips), total.steps / wall * 1e-6,
                100.0 * double(total.secondChances) / double(total.pixels),
                double(total.secondSteps),
                100.0 * double(total.recomputed) / double(total.pixels),
                100.0 * double(atImax) / double(total.pixels),
                100.0 * double(total.interior) / double(total.pixels),
                long(kernel.reference().nearReturn()), static_cast<unsigned long long>(checksum),
                peakKilobytes() / 1024, load[0]);
}

// Every pixel of the given rows that the lanes leave in doubt, counted by
// the kernel with its second chance, against the plain loop at P and 2P.
void doubtsOf(const char *name, const DeepView &view, long imax, int rowStep)
{
    const auto start = Clock::now();
    DeepKernel lanes(view, imax), kernel(view, imax);
    lanes.setSecondChance(false);
    std::vector<std::int64_t> row(view.pixelsWide());
    std::vector<std::pair<int, int>> doubtful;
    DeepWork scan;
    for (int q = 0; q < view.pixelsHigh(); q += rowStep) {
        const std::int64_t before = scan.recomputed;
        lanes.countRow(q, row.data(), scan);
        for (int p = 0; p < view.pixelsWide() && scan.recomputed > before; ++p) {
            DeepWork one;
            lanes.count(p, q, one);
            if (one.recomputed > 0)
                doubtful.emplace_back(p, q);
        }
    }
    Comparison result;
    std::vector<DeepWork> work(doubtful.size());
    onAllCores(int(doubtful.size()), [&](int k) {
        compareSample(kernel, doubtful[k].first, doubtful[k].second, imax, result, work[k]);
    });
    DeepWork total;
    for (const DeepWork &w : work)
        total += w;
    std::printf("doubts, %s: %zu of %ld pixels in doubt after the lanes; %ld decided in "
                "double-double (%.3g steps), %ld recomputed; %ld differences on %ld determined, "
                "%ld undetermined; %.1f s\n",
                name, doubtful.size(), long(scan.pixels), long(total.secondChances),
                double(total.secondSteps), long(total.recomputed), result.differences.load(),
                result.determined.load(), result.undetermined.load(), since(start));
    std::fflush(stdout);
}

void doubts()
{
    doubtsOf("example 4, every eighth row of 462 x 462, Imax 32767",
             *DeepView::make("-0,625", "0,4", "0,05", 462, 462), 32767, 8);
    doubtsOf("minibrot period 1053, 2E-68, 480 x 270, Imax 50000", viewOf(StillPlace, 480, 270),
             StillPlace.imax, 1);
}

// Example 4 (−0,65..−0,60 × 0,375..0,425) as a deep view, every eighth row
// of 462 × 462: the same points through both kernels on one core.
void rate(const Options &options)
{
    constexpr int Side = 462;
    constexpr int RowStep = 8;
    constexpr long Imax = 32767;
    const DeepView view = *DeepView::make("-0,625", "0,4", "0,05", Side, Side);
    // Every step taken: the rate is of steps, not of steps skipped.
    DeepKernel kernel(view, Imax);
    kernel.setInteriorTest(false);
    kernel.setStepSkipping(false);
    kernel.setSecondChance(options.secondChance);
    std::vector<double> cx, cy;
    MpReal c(view.precision());
    for (int q = 0; q < Side; q += RowStep) {
        for (int p = 0; p < Side; ++p) {
            view.pixelRe(p, c.get());
            cx.push_back(mpfr_get_d(c.get(), MPFR_RNDN));
            view.pixelIm(q, c.get());
            cy.push_back(mpfr_get_d(c.get(), MPFR_RNDN));
        }
    }
    // In turns, so that both kernels meet the same hours of this shared
    // machine; the median of the rounds' ratios and their spread.
    constexpr int Rounds = 5;
    std::vector<std::int16_t> doubleCounts(cx.size());
    std::vector<std::int64_t> row(Side);
    std::vector<double> ratios, doubleRates, deepRates;
    DeepWork work;
    for (int round = 0; round < Rounds; ++round) {
        double start = processSeconds();
        computePoints(cx.data(), cy.data(), int(cx.size()), Imax, doubleCounts.data(),
                      KernelPath::Best, CycleCheck::Off);
        const double doubleSeconds = processSeconds() - start;
        double iterations = 0;
        for (const std::int16_t n : doubleCounts)
            iterations += n;
        work = {};
        start = processSeconds();
        double deepIterations = 0;
        for (int q = 0; q < Side; q += RowStep) {
            kernel.countRow(q, row.data(), work);
            for (const std::int64_t n : row)
                deepIterations += double(n);
        }
        const double deepSeconds = processSeconds() - start;
        doubleRates.push_back(iterations / doubleSeconds);
        deepRates.push_back(deepIterations / deepSeconds);
        ratios.push_back(deepRates.back() / doubleRates.back());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("rate, example 4, Imax %ld, %zu points, one core, median of %d rounds in turns: "
                "column kernel (%s, no cycle check) %.3g iterations/s; deep kernel (%s lanes) %.3g "
                "iterations/s (%.2f %% of it, rounds %.2f–%.2f %%; %.2f %% of the pixels decided "
                "in double-double, %.2f %% recomputed)\n",
                Imax, cx.size(), Rounds, kernelPathName(bestKernelPath()), median(doubleRates),
                laneBuildName(), median(deepRates), 100.0 * median(ratios),
                100.0 * *std::min_element(ratios.begin(), ratios.end()),
                100.0 * *std::max_element(ratios.begin(), ratios.end()),
                100.0 * double(work.secondChances) / double(work.pixels),
                100.0 * double(work.recomputed) / double(work.pixels));
}

} // namespace

int main(int argc, char **argv)
{
    bool all = true, doExactness = false, doSpeed = false, doRate = false, doDoubts = false;
    Options options;
    int wide = 480, high = 270, samples = 0;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "exactness")
            doExactness = true, all = false;
        else if (arg.rfind("speed", 0) == 0) {
            doSpeed = true, all = false;
            if (arg.size() > 6 && std::sscanf(arg.c_str() + 6, "%dx%d", &wide, &high) != 2)
                return std::fprintf(stderr, "speed=WxH\n"), 2;
        } else if (arg == "rate")
            doRate = true, all = false;
        else if (arg == "doubts")
            doDoubts = true, all = false;
        else if (arg == "--no-interior")
            options.interior = false;
        else if (arg == "--no-skip")
            options.skipping = false;
        else if (arg == "--no-second-chance")
            options.secondChance = false;
        else if (arg.rfind("--skip-epsilon=", 0) == 0)
            options.skipExponent = std::atoi(arg.c_str() + 15);
        else if (arg.rfind("--samples=", 0) == 0)
            samples = std::atoi(arg.c_str() + 10);
        else
            return std::fprintf(stderr, "unknown argument %s\n", arg.c_str()), 2;
    }
    if (all || doRate)
        rate(options);
    if (all || doSpeed)
        speed(wide, high, options);
    if (all || doExactness)
        exactness(samples, options);
    if (doDoubts)
        doubts();
    return 0;
}
