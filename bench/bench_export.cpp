// The figures of `quirlbau --render` that the README quotes, as ratios
// within one run (absolute times on a shared machine mean little):
//   speed:  wall time of the real export of example 1 (−2..2, Imax 32767,
//           4096 × 4096, best of five) against (one-core column-kernel time
//           for the same pixels + the writer thread's processor time) ÷
//           hardware threads, for several compression levels;
//   memory: peak resident memory (getrusage) of the real program code at
//           8192² and 32768² (Imax 300, start section), each in a child
//           process of its own;
//   time per pixel: the same children at 4096² (best of five) and 32768²,
//           on example 1 and on the start section, with one core's work
//           per pixel for each, which tells the content's share of any
//           difference from the export's.
// Usage: bench_export [--skip-huge | --keep-huge] [FOLDER for the pictures, default /tmp]
// (--skip-huge leaves out the children; --keep-huge leaves the start
// section's bench_export_32768.png there, to be looked at).
#include "export/bandcomputer.h"
#include "export/exportcommand.h"
#include "export/posterrender.h"
#include "export/targetfile.h"
#include "picturefile/pngbandwriter.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const PosterFrame Example1{{{-2.0, 2.0, -2.0, 2.0}, 32767}, 4096};

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs that last a fraction of a second vary by several per cent with the
// machine's other work, so they are taken as the best of a few.
template <class Measure, class Key>
auto bestOf(int runs, Measure measure, Key key)
{
    auto best = measure();
    for (int k = 1; k < runs; ++k) {
        auto next = measure();
        if (key(next) < key(best))
            best = next;
    }
    return best;
}

constexpr int ShortRuns = 5;

// One core's work for the export's pixels: the column kernel over the same
// bands and columns, and the writer compressing its bands (to nowhere).
struct OneCoreSeconds
{
    double kernel = 0;
    double writer = 0;
};

OneCoreSeconds oneCoreSeconds(const PosterFrame &frame, bool withWriter)
{
    const BandComputer computer(frame);
    const int bandRows = PosterRender::bandRows(frame.size, frame.size);
    std::vector<std::uint8_t> band(std::size_t(bandRows) * std::size_t(frame.size));
    PngBandWriter writer([](const char *, std::size_t) { return true; }, frame.size, frame.size,
                         {0xFF0000, 0xFFFF00, 0x00FF00, 0x0000FF, 0xFF00FF, 0x00C0C0, 0xC04000, 0}, {}, 1);
    OneCoreSeconds seconds;
    for (int first = 0; first < frame.size; first += bandRows) {
        const int rows = std::min(bandRows, frame.size - first);
        const double start = threadSeconds();
        computer.computeSlice(first, rows, 0, frame.size, band.data());
        const double computed = threadSeconds();
        seconds.kernel += computed - start;
        if (withWriter) {
            writer.writeRows(band.data(), rows);
            seconds.writer += threadSeconds() - computed;
        }
    }
    return seconds;
}

// The same columns on every core without the export around them: how much
// of the export's overhead is the machine's (shared caches, clock speed)
// rather than the export's.
std::pair<double, double> allCoresKernelSeconds(const PosterFrame &frame, int threads)
{
    const BandComputer computer(frame);
    const int bandRows = PosterRender::bandRows(frame.size, frame.size);
    const int bands = (frame.size + bandRows - 1) / bandRows;
    std::atomic<long long> next{0};
    const Clock::time_point start = Clock::now();
    const double processorStart = processSeconds();
    constexpr int SliceColumns = 128;
    const int slices = (frame.size + SliceColumns - 1) / SliceColumns;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            std::vector<std::uint8_t> band(std::size_t(bandRows) * std::size_t(frame.size));
            for (long long k = next++; k < (long long)bands * slices; k = next++) {
                const int first = int(k / slices) * bandRows;
                const int from = int(k % slices) * SliceColumns;
                computer.computeSlice(first, std::min(bandRows, frame.size - first), from,
                                      std::min(from + SliceColumns, frame.size), band.data());
            }
        });
    for (std::thread &worker : workers)
        worker.join();
    return {since(start), processSeconds() - processorStart};
}

struct ExportTimes
{
    double wall = 0;
    double processor = 0; // all threads of the export
    double writer = 0;
    long long bytes = 0;
};

ExportTimes exportSeconds(const PosterFrame &frame, int level, const std::string &folder)
{
    ExportTimes times;
    TargetFile target(QString::fromStdString(folder + "/bench_export_speed.png"));
    if (!target.open())
        return times;
    const Clock::time_point start = Clock::now();
    const double processorStart = processSeconds();
    PngBandWriter writer(
        [&](const char *data, std::size_t size) { times.bytes += (long long)size; return target.write(data, size); },
        frame.size, frame.size, {0xFF0000, 0xFFFF00, 0x00FF00, 0x0000FF, 0xFF00FF, 0x00C0C0, 0xC04000, 0}, {}, level);
    PosterRender render(frame, 0, frame.size - 1);
    if (!render.run(writer) || !writer.finish() || !target.commit())
        return {};
    times.wall = since(start);
    times.processor = processSeconds() - processorStart;
    times.writer = render.writerSeconds();
    std::remove((folder + "/bench_export_speed.png").c_str());
    return times;
}

void speed(const std::string &folder)
{
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    const double kernel = bestOf(ShortRuns, [] { return oneCoreSeconds(Example1, false).kernel; },
                                 [](double seconds) { return seconds; });
    std::printf("speed: example 1, Imax 32767, 4096 x 4096, %d hardware threads\n", threads);
    std::printf("  one-core column kernel  %8.2f s\n", kernel);
    const auto [allWall, allProcessor] = allCoresKernelSeconds(Example1, threads);
    std::printf("  kernel alone on every core: wall %.2f s, wall / (one-core / threads) %.3f, "
                "processor / one-core %.3f\n",
                allWall, allWall / (kernel / threads), allProcessor / kernel);
    for (int level : {1, 3, 6}) {
        const ExportTimes t = bestOf(ShortRuns, [&] { return exportSeconds(Example1, level, folder); },
                                     [](const ExportTimes &times) { return times.wall; });
        const double ideal = (kernel + t.writer) / threads;
        std::printf("  level %d: %6.1f MB, writer %6.2f s processor; wall %7.2f s, wall / ideal %.3f (goal <= 1.15);\n"
                    "           processor of all threads / (kernel + writer) %.3f, "
                    "wall / kernel alone on every core %.3f\n",
                    level, double(t.bytes) / 1e6, t.writer, t.wall, t.wall / ideal, t.processor / (kernel + t.writer),
                    t.wall / allWall);
    }
}

// The real program's code in a child process of its own, so that its peak
// resident memory is its alone: prints "peak_kb seconds processor".
int child(char *arguments[], bool keep)
{
    const Clock::time_point start = Clock::now();
    const int status = runExport(8, arguments);
    const double seconds = since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double processor = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    std::printf("%ld %.3f %.3f\n", usage.ru_maxrss, seconds, processor);
    if (!keep)
        std::remove(arguments[1] + std::strlen("--render="));
    return status;
}

struct Picture
{
    const char *name;
    double x0, x1, y0, y1;
    int size;
    double pixels() const { return double(size) * double(size); }
    PosterFrame frame() const { return {{{x0, x1, y0, y1}, 300}, size}; }
};

constexpr Picture StartSection{"start section", -1.4025, -1.4020, 0.0, 0.0005, 0};
constexpr Picture Example1Section{"example 1", -2.0, 2.0, -2.0, 2.0, 0};

Picture sized(Picture picture, int size)
{
    picture.size = size;
    return picture;
}

struct ChildFigures
{
    long peakKb = 0;
    double seconds = 0;
    double processor = 0;
};

ChildFigures runChild(const std::string &folder, const Picture &picture, bool keep = false)
{
    char command[512];
    std::snprintf(command, sizeof command,
                  "/proc/%d/exe %s --render=%s/bench_export_%d.png --size=%d --quiet --x0=%.17g --x1=%.17g "
                  "--y0=%.17g --y1=%.17g",
                  int(getpid()), keep ? "--keep" : "--child", folder.c_str(), picture.size, picture.size,
                  picture.x0, picture.x1, picture.y0, picture.y1);
    ChildFigures figures;
    if (FILE *pipe = popen(command, "r")) {
        if (std::fscanf(pipe, "%ld %lf %lf", &figures.peakKb, &figures.seconds, &figures.processor) != 3)
            figures = {};
        pclose(pipe);
    }
    return figures;
}

void printChild(const Picture &picture, const ChildFigures &f)
{
    std::printf("  %-13s %5d^2: peak %6.1f MB, wall %7.2f s = %6.2f ns per pixel, processor %7.2f s = %6.2f ns "
                "per pixel\n",
                picture.name, picture.size, f.peakKb / 1024.0, f.seconds, f.seconds / picture.pixels() * 1e9,
                f.processor, f.processor / picture.pixels() * 1e9);
}

// Returns the figures of the 32768² picture, which the time per pixel uses again.
ChildFigures memory(const std::string &folder, bool keep)
{
    std::printf("memory: start section, Imax 300, the program's own code\n");
    const Picture middle = sized(StartSection, 8192);
    const Picture big = sized(StartSection, 32768);
    const ChildFigures middleFigures = runChild(folder, middle);
    printChild(middle, middleFigures);
    const ChildFigures bigFigures = runChild(folder, big, keep);
    printChild(big, bigFigures);
    std::printf("  peak at 32768: %.1f MB (goal <= 100); peak 32768 / 8192: %.3f (goal 0.9 .. 1.1)\n",
                bigFigures.peakKb / 1024.0, double(bigFigures.peakKb) / double(middleFigures.peakKb));
    return bigFigures;
}

void timePerPixel(const std::string &folder, const Picture &section, const ChildFigures &bigFigures)
{
    std::printf("time per pixel: %s, Imax 300, the program's own code\n", section.name);
    const Picture small = sized(section, 4096);
    const Picture big = sized(section, 32768);
    const ChildFigures smallFigures = bestOf(ShortRuns, [&] { return runChild(folder, small); },
                                             [](const ChildFigures &f) { return f.seconds; });
    printChild(small, smallFigures);
    printChild(big, bigFigures);
    const double pixelRatio = big.pixels() / small.pixels();
    const double wall = bigFigures.seconds / smallFigures.seconds / pixelRatio;
    std::printf("  32768 / 4096: wall %.3f, processor %.3f (goal 0.9 .. 1.1)\n", wall,
                bigFigures.processor / smallFigures.processor / pixelRatio);
    const OneCoreSeconds smallWork = bestOf(ShortRuns, [&] { return oneCoreSeconds(small.frame(), true); },
                                            [](const OneCoreSeconds &w) { return w.kernel + w.writer; });
    const OneCoreSeconds bigWork = oneCoreSeconds(big.frame(), true);
    const double perPixel[2] = {(smallWork.kernel + smallWork.writer) / small.pixels(),
                                (bigWork.kernel + bigWork.writer) / big.pixels()};
    std::printf("  one core's kernel + writer per pixel: %.2f + %.2f ns and %.2f + %.2f ns, 32768 / 4096 %.3f "
                "(the content);\n  wall 32768 / 4096 relative to that %.3f (the export)\n",
                smallWork.kernel / small.pixels() * 1e9, smallWork.writer / small.pixels() * 1e9,
                bigWork.kernel / big.pixels() * 1e9, bigWork.writer / big.pixels() * 1e9, perPixel[1] / perPixel[0],
                wall / (perPixel[1] / perPixel[0]));
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 9 && (std::strcmp(argv[1], "--child") == 0 || std::strcmp(argv[1], "--keep") == 0))
        return child(argv + 1, std::strcmp(argv[1], "--keep") == 0);
    bool huge = true;
    bool keep = false;
    std::string folder = "/tmp";
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--skip-huge") == 0)
            huge = false;
        else if (std::strcmp(argv[k], "--keep-huge") == 0)
            keep = true;
        else
            folder = argv[k];
    }
    speed(folder);
    if (!huge)
        return 0;
    const ChildFigures startSection = memory(folder, keep);
    timePerPixel(folder, Example1Section, runChild(folder, sized(Example1Section, 32768)));
    timePerPixel(folder, StartSection, startSection);
    return 0;
}
