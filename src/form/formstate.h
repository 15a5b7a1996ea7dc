#pragma once

#include <cstdint>

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
};
