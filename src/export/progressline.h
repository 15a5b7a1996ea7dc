#pragma once

#include <chrono>

// One line on stderr, rewritten in place: percent, rows, time taken and
// time left. Silent unless enabled (stderr a terminal and no --quiet).
class ProgressLine
{
public:
    explicit ProgressLine(bool enabled);

    void update(int rowsDone, int rowsTotal);
    // Ends the line, if one was written.
    void finish();

    // Whether stderr is a terminal.
    static bool stderrIsTerminal();

private:
    using Clock = std::chrono::steady_clock;

    bool m_enabled;
    bool m_written = false;
    Clock::time_point m_start;
    Clock::time_point m_lastShown;
};
