#pragma once

#include <filesystem>
#include <fstream>
#include <string>

// How many threads of this process carry the given name (Linux only; -1
// where there is no /proc). Lets a test see that workers are gone, not just
// that they went quiet.
inline int threadsNamed(const std::string &name)
{
    const std::filesystem::path tasks("/proc/self/task");
    std::error_code error;
    if (!std::filesystem::is_directory(tasks, error))
        return -1;
    int found = 0;
    for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (std::getline(comm, line) && line == name)
            ++found;
    }
    return found;
}
