// The figures of `quirlbau --render` that the README quotes, as ratios
// within one run (absolute times on a shared machine mean little):
//   speed:  wall time of the real export of example 1 (−2..2, Imax 32767,
//           4096 × 4096) against (one-core column-kernel time for the same
//           pixels + the writer thread's processor time) ÷ hardware threads,
//           for several compression levels;
//   memory: peak resident memory (getrusage) of the real program code at
//           8192² and 32768² (Imax 300, start section), each in a child
//           process of its own, and its time per pixel against 4096².
// Usage: bench_export [--skip-huge | --keep-huge] [FOLDER for the pictures, default /tmp]
// (--keep-huge leaves bench_export_32768.png there, to be looked at).
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

const PosterFrame Example1{-2.0, 2.0, -2.0, 2.0, 32767, 4096};

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

// The column kernel over the same columns and bands as the export, on this
// thread alone.
double oneCoreKernelSeconds(const PosterFrame &frame)
{
    const BandComputer computer(frame);
    const int bandRows = PosterRender::bandRows(frame.size, frame.size);
    std::vector<std::uint8_t> band(std::size_t(bandRows) * std::size_t(frame.size));
    const double start = threadSeconds();
    for (int first = 0; first < frame.size; first += bandRows)
        computer.computeSlice(first, std::min(bandRows, frame.size - first), 0, frame.size, band.data());
    return threadSeconds() - start;
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
    const double kernel = oneCoreKernelSeconds(Example1);
    std::printf("speed: example 1, Imax 32767, 4096 x 4096, %d hardware threads\n", threads);
    std::printf("  one-core column kernel  %8.2f s\n", kernel);
    const auto [allWall, allProcessor] = allCoresKernelSeconds(Example1, threads);
    std::printf("  kernel alone on every core: wall %.2f s, wall / (one-core / threads) %.3f, "
                "processor / one-core %.3f\n",
                allWall, allWall / (kernel / threads), allProcessor / kernel);
    for (int level : {1, 3, 6}) {
        const ExportTimes t = exportSeconds(Example1, level, folder);
        const double ideal = (kernel + t.writer) / threads;
        std::printf("  level %d: %6.1f MB, writer %6.2f s processor; wall %7.2f s, wall / ideal %.3f (goal <= 1.15);\n"
                    "           processor of all threads / (kernel + writer) %.3f, "
                    "wall / kernel alone on every core %.3f\n",
                    level, double(t.bytes) / 1e6, t.writer, t.wall, t.wall / ideal, t.processor / (kernel + t.writer),
                    t.wall / allWall);
    }
}

// The real program's code in a child process of its own, so that its peak
// resident memory is its alone: prints "peak_kb seconds".
int child(const char *target, const char *size, bool keep)
{
    const std::string render = std::string("--render=") + target;
    const std::string sized = std::string("--size=") + size;
    char *arguments[] = {const_cast<char *>("quirlbau"), const_cast<char *>(render.c_str()),
                         const_cast<char *>(sized.c_str()), const_cast<char *>("--quiet"), nullptr};
    const Clock::time_point start = Clock::now();
    const int status = runExport(4, arguments);
    const double seconds = since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double processor = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    std::printf("%ld %.3f %.3f\n", usage.ru_maxrss, seconds, processor);
    if (!keep)
        std::remove(target);
    return status;
}

struct ChildFigures
{
    long peakKb = 0;
    double seconds = 0;
    double processor = 0;
};

ChildFigures runChild(const std::string &folder, int size, bool keep = false)
{
    const std::string command = "/proc/" + std::to_string(getpid()) + (keep ? "/exe --keep " : "/exe --child ")
        + folder + "/bench_export_" + std::to_string(size) + ".png " + std::to_string(size);
    ChildFigures figures;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld %lf %lf", &figures.peakKb, &figures.seconds, &figures.processor) != 3)
            figures = {};
        pclose(pipe);
    }
    return figures;
}

void printChild(const char *name, const ChildFigures &f, double pixels)
{
    std::printf("  %-14s peak %6.1f MB, wall %7.2f s = %6.2f ns per pixel, processor %7.2f s = %6.2f ns per pixel\n",
                name, f.peakKb / 1024.0, f.seconds, f.seconds / pixels * 1e9, f.processor, f.processor / pixels * 1e9);
}

void memory(const std::string &folder, bool huge, bool keep)
{
    std::printf("memory and time per pixel: start section, Imax 300, the program's own code\n");
    const ChildFigures small = runChild(folder, 4096);
    printChild("4096 x 4096:", small, 4096.0 * 4096.0);
    const ChildFigures middle = runChild(folder, 8192);
    printChild("8192 x 8192:", middle, 8192.0 * 8192.0);
    if (!huge)
        return;
    const ChildFigures big = runChild(folder, 32768, keep);
    printChild("32768 x 32768:", big, 32768.0 * 32768.0);
    const double pixelRatio = 32768.0 * 32768.0 / (4096.0 * 4096.0);
    std::printf("  peak at 32768: %.1f MB (goal <= 100); peak 32768 / 8192: %.3f (goal 0.9 .. 1.1)\n",
                big.peakKb / 1024.0, double(big.peakKb) / double(middle.peakKb));
    std::printf("  time per pixel 32768 / 4096: wall %.3f, processor %.3f (goal 0.9 .. 1.1)\n",
                big.seconds / small.seconds / pixelRatio, big.processor / small.processor / pixelRatio);
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 4 && (std::strcmp(argv[1], "--child") == 0 || std::strcmp(argv[1], "--keep") == 0))
        return child(argv[2], argv[3], std::strcmp(argv[1], "--keep") == 0);
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
    memory(folder, huge, keep);
    return 0;
}
