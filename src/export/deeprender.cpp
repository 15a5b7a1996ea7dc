#include "export/deeprender.h"

#include "core/swatchtable.h"
#include "core/workerthreads.h"
#include "deep/viewcounter.h"
#include "picturefile/pngbandwriter.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

// Rows of a band: enough that every worker has several, few enough that the
// first rows reach the file (and the progress line) soon.
constexpr int BandRows = 16;

DeepView viewOf(const DeepRequest &request)
{
    // The options checked the texts and the size; make() cannot refuse them.
    return *DeepView::make(request.re.toStdString(), request.im.toStdString(), request.width.toStdString(),
                           request.record.size, request.record.height);
}

} // namespace

struct DeepRender::Counter
{
    ViewCounter counter;
};

DeepRender::DeepRender(const DeepRequest &request)
    : m_request(request), m_counter(std::make_unique<Counter>(Counter{ViewCounter(viewOf(request), request.imax)}))
{
}

DeepRender::~DeepRender() = default;

bool DeepRender::deep() const
{
    return m_counter->counter.deep();
}

// The band's rows go to whichever thread asks next; each maps its counts
// to swatches at once.
void DeepRender::computeBand(int first, int rows, std::uint8_t *band) const
{
    const int width = m_request.record.size;
    const bool cycle = m_request.record.cycle;
    std::atomic<int> next{0};
    const auto work = [&] {
        std::vector<std::int64_t> counts(size_t(width), 0);
        DeepWork done;
        for (int row = next++; row < rows; row = next++) {
            m_counter->counter.countRow(first + row, counts.data(), done);
            std::uint8_t *out = band + std::size_t(row) * std::size_t(width);
            for (int p = 0; p < width; ++p)
                out[p] = std::uint8_t(swatchForCount(int(counts[size_t(p)]), cycle));
        }
    };
    WorkerThreads workers(workerCount() - 1, work);
    work();
    workers.join();
    workers.rethrowFailure();
}

bool DeepRender::run(PngBandWriter &writer)
{
    const int height = m_request.record.height;
    std::vector<std::uint8_t> band(std::size_t(m_request.record.size) * BandRows);
    for (int first = 0; first < height; first += BandRows) {
        const int rows = std::min(BandRows, height - first);
        computeBand(first, rows, band.data());
        if (!writer.writeRows(band.data(), rows))
            return false;
        if (m_progress)
            m_progress(first + rows, height);
    }
    return true;
}
