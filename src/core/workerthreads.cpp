#include "core/workerthreads.h"

#include <algorithm>
#include <new>
#include <system_error>

int workerCount()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

WorkerThreads::WorkerThreads(int count, const std::function<void()> &work)
{
    try {
        m_threads.reserve(std::size_t(std::max(count, 0)));
        for (int k = 0; k < count; ++k)
            m_threads.emplace_back(work);
    } catch (const std::system_error &) {
        // Fewer workers only make the computation slower.
    } catch (const std::bad_alloc &) {
    }
}

void WorkerThreads::join()
{
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
}
