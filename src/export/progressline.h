#pragma once

#include <chrono>

// One line on stderr, rewritten in place: percent, rows and time taken, or
// frames and frames a second, and time left. Silent unless enabled (stderr
// a terminal and no --quiet).
class ProgressLine
{
public:
    enum class Unit { Rows, Frames };

    explicit ProgressLine(bool enabled, Unit unit = Unit::Rows);

    void update(int done, int total);
    // Ends the line, if one was written.
    void finish();

    // Whether stderr is a terminal.
    static bool stderrIsTerminal();

private:
    using Clock = std::chrono::steady_clock;

    bool m_enabled;
    Unit m_unit;
    bool m_written = false;
    Clock::time_point m_start;
    Clock::time_point m_lastShown;
};
