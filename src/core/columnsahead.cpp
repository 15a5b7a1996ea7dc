#include "core/columnsahead.h"

#include "core/grid.h"
#include "core/workerthreads.h"

#include <algorithm>
#include <limits>
#include <system_error>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace {

int columnsFrom(int firstColumn)
{
    if (firstColumn > GridLimit)
        return 0;
    const std::int64_t columns = (std::int64_t(GridLimit) - firstColumn) / GridStep + 1;
    return int(std::min<std::int64_t>(columns, std::numeric_limits<int>::max()));
}

int columnIndex(int firstColumn, int k)
{
    return int(std::int64_t(firstColumn) + std::int64_t(k) * GridStep);
}

int workersFor(int requested)
{
    if (requested > 0)
        return requested;
    return workerCount();
}

} // namespace

ColumnsAhead::ColumnsAhead(int workers, int window)
    : m_workerCount(workersFor(workers)), m_window(std::max(1, window)),
      m_readyIn(std::size_t(m_window), -1),
      m_counts(std::size_t(m_window) * GridPoints, 0)
{
}

ColumnsAhead::~ColumnsAhead()
{
    stop();
}

bool ColumnsAhead::start(const Section &section, std::int16_t imax, int firstColumn,
                         KernelPath path, CycleCheck cycles)
{
    stop();
    m_section = section;
    m_imax = imax;
    m_firstColumn = firstColumn;
    m_path = path;
    m_cycles = cycles;
    m_columns = columnsFrom(firstColumn);
    const int threads = std::min(m_workerCount, m_columns);
    try {
        for (int n = 0; n < threads; ++n) {
            m_threads.emplace_back(&ColumnsAhead::work, this);
#if defined(__linux__)
            // Named here, so the name is there as soon as start() returns.
            pthread_setname_np(m_threads.back().native_handle(), WorkerName);
#endif
        }
    } catch (const std::exception &) {
        // A thread that cannot start (std::system_error) or no memory to
        // hold it (std::bad_alloc): fewer workers only make the run slower;
        // none at all is the caller's to handle.
        if (m_threads.empty()) {
            m_columns = 0;
            return false;
        }
    }
    return true;
}

int ColumnsAhead::firstInUse() const
{
    return m_holding ? m_handedOut - 1 : m_handedOut;
}

bool ColumnsAhead::claimable() const
{
    return m_claimed < m_columns && m_claimed < firstInUse() + m_window;
}

int ColumnsAhead::claimSize() const
{
    // Within the window, and not across the end of the slot ring, so that
    // the claimed columns' slots lie one after the other.
    const int k = m_claimed;
    return std::min({ClaimColumns, m_columns - k, firstInUse() + m_window - k,
                     m_window - k % m_window});
}

void ColumnsAhead::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_workAvailable.wait(lock, [this] {
            return m_stopping || m_claimed >= m_columns || claimable();
        });
        if (m_stopping || m_claimed >= m_columns)
            return;
        const int k = m_claimed;
        const int claimed = claimSize();
        m_claimed += claimed;
        std::int16_t *counts = slot(k);
        lock.unlock();
        // Several columns in one call: the slow points of all of them run
        // side by side in the vector lanes.
        computeColumns(m_section, columnIndex(m_firstColumn, k), claimed, m_imax, counts, m_path,
                       m_cycles);
        lock.lock();
        for (int c = k; c < k + claimed; ++c)
            m_readyIn[std::size_t(c % m_window)] = c;
        if (k <= m_handedOut && m_handedOut < k + claimed)
            m_columnReady.notify_one();
    }
}

const std::int16_t *ColumnsAhead::next(Clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    if (m_holding) {
        // The consumer is done with the previous column: its slot is free.
        m_holding = false;
        m_workAvailable.notify_all();
    }
    if (m_handedOut >= m_columns)
        return nullptr;
    const int k = m_handedOut;
    int &ready = m_readyIn[std::size_t(k % m_window)];
    if (!m_columnReady.wait_until(lock, deadline, [&] { return ready == k; }))
        return nullptr;
    ready = -1;
    ++m_handedOut;
    m_holding = true;
    return slot(k);
}

void ColumnsAhead::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workAvailable.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();

    std::lock_guard lock(m_mutex);
    m_stopping = false;
    m_columns = 0;
    m_claimed = 0;
    m_handedOut = 0;
    m_holding = false;
    std::fill(m_readyIn.begin(), m_readyIn.end(), -1);
}

int ColumnsAhead::nextColumn() const
{
    std::lock_guard lock(m_mutex);
    return columnIndex(m_firstColumn, m_handedOut);
}

int ColumnsAhead::columnsLeft() const
{
    std::lock_guard lock(m_mutex);
    return m_columns - m_handedOut;
}
