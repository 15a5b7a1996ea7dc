#pragma once

#include <chrono>

// One line on stderr, rewritten in place while a film is made: percent,
// frames done, frames a second and time left. Silent unless enabled.
class FilmProgress
{
public:
    explicit FilmProgress(bool enabled);

    void update(int framesDone, int framesTotal);
    // Ends the line, if one was written.
    void finish();

private:
    using Clock = std::chrono::steady_clock;

    bool m_enabled;
    bool m_written = false;
    Clock::time_point m_start;
    Clock::time_point m_lastShown;
};
