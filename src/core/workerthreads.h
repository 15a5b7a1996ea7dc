#pragma once

#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// How many workers a computation starts: one per hardware thread, at least
// one. The window's run and the export both ask here.
int workerCount();

// Up to `count` threads, each running `work`, as many as the system lets
// start: a thread that cannot start (a process limit, no memory for its
// stack) only means fewer. What a worker throws (no memory) ends that worker,
// calls `onFailure` (to release the others from their waiting) and is thrown
// again by rethrowFailure() once all are joined. The destructor joins them.
class WorkerThreads
{
public:
    WorkerThreads(int count, std::function<void()> work, std::function<void()> onFailure = {});
    ~WorkerThreads() { join(); }
    WorkerThreads(const WorkerThreads &) = delete;
    WorkerThreads &operator=(const WorkerThreads &) = delete;

    int started() const { return int(m_threads.size()); }
    void join();
    // After join(): the first exception a worker threw, if any.
    void rethrowFailure();

private:
    void run();

    std::function<void()> m_work;
    std::function<void()> m_onFailure;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::exception_ptr m_failure;
};
