#pragma once

#include <functional>
#include <thread>
#include <vector>

// How many workers a computation starts: one per hardware thread, at least
// one. The window's run and the export both ask here.
int workerCount();

// Up to `count` threads, each running `work`, as many as the system lets
// start: a thread that cannot start (a process limit, no memory for its
// stack) only means fewer. The destructor joins them.
class WorkerThreads
{
public:
    WorkerThreads(int count, const std::function<void()> &work);
    ~WorkerThreads() { join(); }
    WorkerThreads(const WorkerThreads &) = delete;
    WorkerThreads &operator=(const WorkerThreads &) = delete;

    int started() const { return int(m_threads.size()); }
    void join();

private:
    std::vector<std::thread> m_threads;
};
