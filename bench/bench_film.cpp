// The figures of `quirlbau --video` that the README quotes, as ratios
// within one run (absolute times on a shared machine mean little):
//   speed:  wall time of a real film (FilmMaker, MP4 through ffmpeg) against
//           (one core's kernel time for all its frames + ffmpeg's processor
//           time) ÷ hardware threads: the kernel and the encoder overlap,
//           and the goal is at most 1.15;
//   memory: peak resident memory of a 3840 × 2160 film, Quirlbau's own and
//           ffmpeg's beside it, in a child process of its own.
//   peer:   with --peer, the same zoom rendered by `xaos -render` into PNG
//           frames (its animation render re-uses pixels from frame to frame
//           and guesses), wall time beside Quirlbau's; the goal is a
//           quarter of its time or less.
// The film of the speed figure is the comparison film: 1280 × 720, Imax
// 1000, from the whole set into the seahorse valley 1E-6 wide, 10 s at 30
// frames a second (--seconds=S for a shorter one on a busy machine).
//   deep:   with --deep (alone), a film from the whole set down to i at
//           1E-110 (320 × 180, Imax 3000, --cycle, 300 frames): one core's
//           time per deep frame, split into the frame's computer (its
//           reference orbit, which moves with the centre) and its pixels;
//           the film on all cores into a sink that keeps nothing; peak
//           resident memory.
// Usage: bench_film [--seconds=S] [--skip-memory] [--peer] [--deep] [FOLDER for the films, default /tmp]
#include "core/squarepixels.h"
#include "export/bandcomputer.h"
#include "export/filmmaker.h"
#include "export/filmrender.h"
#include "export/framesink.h"
#include "core/standardcolors.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

FilmRequest filmRequest(const std::string &target, int width, int height, std::int16_t imax, const Section &end,
                        int frames)
{
    FilmRequest request;
    request.target = QString::fromStdString(target);
    request.end.drawing.palette = StandardColors;
    request.end.drawing.imax = imax;
    request.end.size = width;
    request.end.height = height;
    const Section widened = squarePixels(end, width, height);
    request.end.drawing.section = widened;
    request.start = squarePixels({-2, 2, -2, 2}, width, height);
    request.frames = frames;
    request.firstFrame = 0;
    request.lastFrame = frames - 1;
    request.quiet = true;
    return request;
}

// Other work on a shared machine stretches the wall time; the load
// average says how much there was.
std::string loadAverage()
{
    std::FILE *file = std::fopen("/proc/loadavg", "r");
    char line[128] = "?\n";
    if (file) {
        if (!std::fgets(line, sizeof line, file))
            std::strcpy(line, "?\n");
        std::fclose(file);
    }
    return line;
}

// One core's kernel work for every frame: the same slices the workers
// compute, one after the other on this thread.
double oneCoreKernelSeconds(const FilmMaker &maker, const FilmRequest &request)
{
    const int width = request.end.size, height = request.end.height;
    std::vector<std::uint8_t> band(std::size_t(width) * 64);
    const double start = threadSeconds();
    for (int k = request.firstFrame; k <= request.lastFrame; ++k) {
        const std::unique_ptr<FrameComputer> computer = maker.computer(k);
        for (int first = 0; first < height; first += 64)
            computer->computePiece(first, std::min(64, height - first), 0, 1, band.data());
    }
    return threadSeconds() - start;
}

// The peer's wall time for the same zoom, or a negative number when it
// did not run. Its views are given by centre and size, imaginary part up.
double peerSeconds(const std::string &folder, double seconds)
{
    const std::string frames = folder + "/bench_film_peer";
    const std::string script = folder + "/bench_film_peer.xaf";
    std::FILE *file = std::fopen(script.c_str(), "w");
    if (!file)
        return -1;
    std::fprintf(file, "(initstate)\n(formula 'mandel)\n(maxiter 1000)\n(view 0 0 %.17g 4)\n"
                       "(morphview -0.7436439 0.1318259 %.17g 1E-6)\n(usleep %ld)\n",
                 4.0 * 1280 / 720, 1e-6 * 1280 / 720, long(seconds * 1e6));
    std::fclose(file);
    if (std::system(("rm -rf '" + frames + "' && mkdir '" + frames + "'").c_str()) != 0)
        return -1;
    const auto start = Clock::now();
    const std::string command = "QT_QPA_PLATFORM=offscreen xaos -render '" + script + "' -basename '" + frames
                                + "/f' -size 1280x720 -renderframerate 30 >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    (void)!std::system(("rm -rf '" + frames + "' '" + script + "'").c_str());
    return status == 0 ? wall : -1;
}

// The same frames on all cores into a sink that keeps nothing: the kernel's
// wall time on this machine as it is now. Its ratio to one core's kernel
// time ÷ threads is the share of the processors the benchmark gets while
// others work on the machine too.
struct NullSink : FrameSink
{
    bool beginFrame(int) override { return true; }
    bool writeRows(const std::uint8_t *, int) override { return true; }
    bool endFrame() override { return true; }
    QString error() const override { return {}; }
};

double allCoresKernelWall(const FilmMaker &maker, const FilmRequest &request)
{
    FilmRender render([&](int k) { return maker.computer(k); }, request.firstFrame, request.lastFrame, request.end.size,
                      request.end.height);
    NullSink sink;
    const auto start = Clock::now();
    render.run(sink);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double speed(const std::string &folder, double seconds)
{
    const Section seahorse{-0.7436444, -0.7436434, 0.1318254, 0.1318264};
    const int frames = int(seconds * 30 + 0.5);
    const FilmRequest request = filmRequest(folder + "/bench_film.mp4", 1280, 720, 1000, seahorse, frames);
    FilmMaker maker(request);
    const auto start = Clock::now();
    if (!maker.run()) {
        std::fprintf(stderr, "film failed: %s\n", qPrintable(maker.error()));
        return -1;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    unlink(request.target.toLocal8Bit().constData());
    const double kernel = oneCoreKernelSeconds(maker, request);
    const double kernelWall = allCoresKernelWall(maker, request);
    const int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    const double ideal = (kernel + maker.encoderSeconds()) / threads;
    const double share = kernel / threads / kernelWall;
    std::printf("speed: %d frames 1280x720, Imax 1000, whole set -> seahorse valley 1E-6\n", frames);
    std::printf("  wall %.2f s, one-core kernel %.2f s, ffmpeg %.2f s cpu, %d threads\n", wall, kernel,
                maker.encoderSeconds(), threads);
    std::printf("  wall / ((kernel + encoder) / threads) = %.3f  (goal <= 1.15)\n", wall / ideal);
    std::printf("  the kernel alone on all cores: wall %.2f s, so the share of the processors this run got: %.2f\n",
                kernelWall, share);
    std::printf("  the same ratio for the share the run got = %.3f\n", wall * share / ideal);
    std::printf("  frames a second: %.2f\n", frames / wall);
    std::printf("  the machine's load average after the film: %s", loadAverage().c_str());
    return wall;
}

// In a child of its own, so that the peak is this film's alone: Quirlbau's
// process (RUSAGE_SELF) and ffmpeg (RUSAGE_CHILDREN, once it has ended).
void memory(const std::string &folder)
{
    int report[2];
    if (pipe(report) != 0)
        return;
    const pid_t child = fork();
    if (child == 0) {
        const Section start{-1.4025, -1.4020, 0.0, 0.0005};
        const FilmRequest request = filmRequest(folder + "/bench_film_4k.mp4", 3840, 2160, 300, start, 20);
        FilmMaker maker(request);
        const bool made = maker.run();
        unlink(request.target.toLocal8Bit().constData());
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        const long values[3] = {made ? 1L : 0L, self.ru_maxrss, children.ru_maxrss};
        (void)!write(report[1], values, sizeof values);
        _exit(0);
    }
    close(report[1]);
    long values[3] = {};
    const bool read = ::read(report[0], values, sizeof values) == ssize_t(sizeof values);
    waitpid(child, nullptr, 0);
    close(report[0]);
    if (!read || !values[0]) {
        std::fprintf(stderr, "4K film failed\n");
        return;
    }
    std::printf("memory: 3840x2160 film, 20 frames\n");
    std::printf("  peak resident, Quirlbau: %.1f MB (goal <= 150), ffmpeg: %.1f MB\n", values[1] / 1024.0,
                values[2] / 1024.0);
}

void deep()
{
    constexpr int Frames = 300, Width = 320, Height = 180;
    FilmRequest request = filmRequest("/tmp/bench_film_deep.mp4", Width, Height, 3000, {-2, 2, -2, 2}, Frames);
    request.end.cycle = true;
    request.deep = FilmRequest::Deep{std::nullopt, ViewTexts{"0", "1", "1E-110"}, 3000};
    const FilmMaker maker(request);
    std::vector<std::uint8_t> band(std::size_t(Width) * 64);
    double orbitSeconds = 0, pixelSeconds = 0, shallowSeconds = 0;
    int deepFrames = 0;
    for (int k = 0; k < Frames; ++k) {
        const bool isDeep = maker.frame(k).deep.has_value();
        const double start = threadSeconds();
        const std::unique_ptr<FrameComputer> computer = maker.computer(k);
        const double built = threadSeconds();
        for (int first = 0; first < Height; first += 64)
            computer->computePiece(first, std::min(64, Height - first), 0, 1, band.data());
        const double done = threadSeconds();
        if (isDeep) {
            ++deepFrames;
            orbitSeconds += built - start;
            pixelSeconds += done - built;
        } else {
            shallowSeconds += done - start;
        }
    }
    const double wall = allCoresKernelWall(maker, request);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("deep: %d frames %dx%d, Imax 3000, whole set -> i at 1E-110; %d deep\n", Frames, Width, Height,
                deepFrames);
    std::printf("  one core: deep frame %.3f s (its computer with the reference orbit %.4f s, pixels %.3f s),\n"
                "  shallow frame %.4f s\n",
                (orbitSeconds + pixelSeconds) / deepFrames, orbitSeconds / deepFrames, pixelSeconds / deepFrames,
                shallowSeconds / std::max(1, Frames - deepFrames));
    std::printf("  all cores: the film's frames in %.2f s wall (%.1f frames a second)\n", wall, Frames / wall);
    std::printf("  peak resident memory %.1f MB; load average %s", self.ru_maxrss / 1024.0, loadAverage().c_str());
}

} // namespace

int main(int argc, char *argv[])
{
    std::string folder = "/tmp";
    double seconds = 10;
    bool skipMemory = false;
    bool peer = false;
    for (int k = 1; k < argc; ++k) {
        if (std::strncmp(argv[k], "--seconds=", 10) == 0)
            seconds = std::atof(argv[k] + 10);
        else if (std::strcmp(argv[k], "--skip-memory") == 0)
            skipMemory = true;
        else if (std::strcmp(argv[k], "--peer") == 0)
            peer = true;
        else if (std::strcmp(argv[k], "--deep") == 0)
            return deep(), 0;
        else
            folder = argv[k];
    }
    if (!skipMemory)
        memory(folder);
    const double wall = speed(folder, seconds);
    if (!peer || wall < 0)
        return 0;
    const double peerWall = peerSeconds(folder, seconds);
    if (peerWall < 0) {
        std::printf("peer: xaos did not run (apt install xaos)\n");
        return 0;
    }
    std::printf("peer: xaos -render, same zoom as PNG frames: wall %.2f s\n", peerWall);
    std::printf("  Quirlbau / peer = %.3f  (goal <= 0.25)\n", wall / peerWall);
    return 0;
}
