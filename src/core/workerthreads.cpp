#include "core/workerthreads.h"

#include <algorithm>
#include <csignal>
#include <new>
#include <system_error>
#include <utility>

#include <pthread.h>

namespace {

// Workers inherit this mask: a signal that ends the program then always
// reaches the thread that started them, which waits on them and cleans up,
// never a worker deep in a long computation.
class SignalsBlocked
{
public:
    SignalsBlocked()
    {
        sigset_t blocked;
        sigemptyset(&blocked);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU})
            sigaddset(&blocked, signal);
        pthread_sigmask(SIG_BLOCK, &blocked, &m_previous);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsBlocked(const SignalsBlocked &) = delete;
    SignalsBlocked &operator=(const SignalsBlocked &) = delete;

private:
    sigset_t m_previous;
};

} // namespace

int workerCount()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

WorkerThreads::WorkerThreads(int count, std::function<void()> work, std::function<void()> onFailure)
    : m_work(std::move(work)), m_onFailure(std::move(onFailure))
{
    const SignalsBlocked blocked;
    try {
        m_threads.reserve(std::size_t(std::max(count, 0)));
        for (int k = 0; k < count; ++k)
            m_threads.emplace_back(&WorkerThreads::run, this);
    } catch (const std::system_error &) {
        // Fewer workers only make the computation slower.
    } catch (const std::bad_alloc &) {
    }
}

void WorkerThreads::run()
{
    try {
        m_work();
    } catch (...) {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_failure)
                m_failure = std::current_exception();
        }
        if (m_onFailure)
            m_onFailure();
    }
}

void WorkerThreads::join()
{
    for (std::thread &thread : m_threads)
        thread.join();
    m_threads.clear();
}

void WorkerThreads::rethrowFailure()
{
    const std::lock_guard lock(m_mutex);
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
}
