#pragma once

#include "core/columnkernel.h"
#include "core/section.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// The columns of a render run, computed on worker threads ahead of the one
// being drawn and handed back strictly in order. The workers run the column
// kernel only; they never see a widget, so the counts are exactly what
// computeColumn gives, whatever thread computed them.
//
// At most `window` columns are computed ahead of the one handed back last;
// workers wait for the consumer rather than run further ahead.
//
//   ColumnsAhead ahead;
//   ahead.start(section, 300, 1);             // columns 1, 14, ..., 5994
//   const std::int16_t *c = ahead.next(deadline);
//   // c == nullptr: column 1 is not ready yet; ask again
//   // else c[0..461] are column 1's counts, rows J = 1, 14, ..., 5994
//
// One consumer thread calls start(), next() and stop().
class ColumnsAhead
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int DefaultWindow = 16;
    // Columns a worker takes at once (fewer near the window's end).
    static constexpr int ClaimColumns = 4;
    // What the workers are called in the process's thread list (Linux).
    static constexpr const char *WorkerName = "quirl-columns";

    // workers <= 0: one per hardware thread, at least one.
    explicit ColumnsAhead(int workers = 0, int window = DefaultWindow);
    // Stops and joins the workers, also while they are computing (each
    // finishes the columns it has taken).
    ~ColumnsAhead();

    ColumnsAhead(const ColumnsAhead &) = delete;
    ColumnsAhead &operator=(const ColumnsAhead &) = delete;

    // Starts computing columns first, first + 13, ... while <= 6000 of the
    // section at imax; work in progress is stopped first. False when not a
    // single worker thread could be started (nothing is computed then).
    bool start(const Section &section, std::int16_t imax, int firstColumn,
               KernelPath path = KernelPath::Best, CycleCheck cycles = CycleCheck::On);

    // The 462 counts of the next column in order, waiting for them at most
    // until `deadline`. nullptr when the deadline passed first (the same
    // column is next again) or when no column is left. The counts stay valid
    // until the next call of next(), start() or stop().
    const std::int16_t *next(Clock::time_point deadline);

    // Lets the workers finish the columns each is computing (at most
    // ClaimColumns), joins them and drops every column not handed back.
    // Safe to call at any time.
    void stop();

    // Grid index I of the column next() hands back next.
    int nextColumn() const;
    int columnsLeft() const;
    int workers() const { return m_workerCount; }
    int window() const { return m_window; }

private:
    void work();
    int firstInUse() const;
    bool claimable() const;
    int claimSize() const;
    std::int16_t *slot(int k) { return m_counts.data() + std::size_t(k % m_window) * GridPoints; }

    const int m_workerCount;
    const int m_window;

    // Set by start() before the workers exist, read-only while they run.
    Section m_section;
    std::int16_t m_imax = 0;
    int m_firstColumn = 1;
    KernelPath m_path = KernelPath::Best;
    CycleCheck m_cycles = CycleCheck::On;
    int m_columns = 0;

    // Column k (0 = the first) lives in slot k % window. Under m_mutex:
    // m_readyIn[s] names the column whose counts slot s holds (-1: none),
    // columns below m_claimed have been taken by a worker, m_handedOut
    // counts the columns next() has returned, the last of them still read
    // by the consumer while m_holding is set.
    mutable std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_columnReady;
    std::vector<int> m_readyIn;
    int m_claimed = 0;
    int m_handedOut = 0;
    bool m_holding = false;
    bool m_stopping = false;

    std::vector<std::int16_t> m_counts;
    std::vector<std::thread> m_threads;
};
