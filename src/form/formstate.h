#pragma once

#include <cstdint>

// Where the render run stands. The screen shows it (btStop's caption and
// face, lblI, lblCounts); whoever must decide reads it here.
enum class RunPhase {
    Idle,    // no run, or none to continue: the next Start begins afresh
    Drawing, // from the click until the run reaches one of its ends
    Paused,  // a click on btStop continues at resumeColumn
};

// The window's module-level variables, shared by its handlers.
struct FormState
{
    bool formAlive = false;
    bool stopRequested = false;
    bool resumeRequested = false;
    std::int16_t lastCount = 0;
    std::int32_t pixelCount = 0;
    bool zoomOriginSet = false;
    bool zoomCornerSet = false;

    RunPhase runPhase = RunPhase::Idle;
    // What lblI and lblCounts show of a paused run: the column a continued
    // run starts at, and the iterations it carries on from.
    int resumeColumn = 1;
    std::int64_t pausedTotal = 0;
};
