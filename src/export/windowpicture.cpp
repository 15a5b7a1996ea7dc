#include "export/windowpicture.h"

#include "core/columnkernel.h"
#include "core/grid.h"
#include "core/swatchtable.h"
#include "core/workerthreads.h"

#include <algorithm>
#include <atomic>

namespace {

std::vector<std::int16_t> gridCounts(const Section &section, std::int16_t imax, int threads)
{
    std::vector<std::int16_t> counts(std::size_t(GridPoints) * GridPoints);
    // A few columns at a time as one list, so the kernel's lanes refill
    // across them.
    constexpr int Batch = 4;
    std::atomic<int> nextColumn{0};
    const auto work = [&] {
        for (int k = nextColumn.fetch_add(Batch); k < GridPoints; k = nextColumn.fetch_add(Batch))
            computeColumns(section, GridFirst + k * GridStep, std::min(Batch, GridPoints - k), imax,
                           counts.data() + std::size_t(k) * GridPoints);
    };
    // This thread is one of them, so that the picture is drawn even where
    // no other thread can start.
    WorkerThreads workers(threads - 1, work);
    work();
    workers.join();
    workers.rethrowFailure();
    return counts;
}

} // namespace

std::vector<std::uint8_t> windowPicture(const Section &section, std::int16_t imax, int threads, bool cycle)
{
    const std::vector<std::int16_t> counts = gridCounts(section, imax, threads);
    std::vector<std::uint8_t> pixels(std::size_t(SurfacePixels) * SurfacePixels);
    const QPoint corner = twipsToPixel(SurfaceLeftTwips, SurfaceTopTwips);
    for (int k = 0; k < GridPoints; ++k) {
        for (int m = 0; m < GridPoints; ++m) {
            const QPoint twips = gridPointTwips(GridFirst + k * GridStep, GridFirst + m * GridStep);
            const QPoint pixel = twipsToPixel(twips.x(), twips.y()) - corner;
            pixels[std::size_t(pixel.y()) * SurfacePixels + std::size_t(pixel.x())] =
                std::uint8_t(swatchForCount(counts[std::size_t(k) * GridPoints + std::size_t(m)], cycle));
        }
    }
    return pixels;
}
