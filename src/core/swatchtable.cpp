#include "core/swatchtable.h"

#include <array>

namespace {

// The first position of each run within a hundred and its length; runs of
// seven end in F0, the short run at 39 stops at F4.
struct Run { int first; int length; };
constexpr std::array<Run, 16> Runs{{
    {2, 6}, {8, 6}, {14, 6}, {20, 6}, {26, 7}, {33, 6}, {39, 3}, {42, 7},
    {49, 6}, {55, 7}, {62, 6}, {68, 7}, {75, 6}, {81, 7}, {88, 6}, {94, 7},
}};

// Swatch for each position k = 1..100 of a hundred; k = 1 is decided per
// hundred (101 and 301 give F6, 201 gives F0).
constexpr std::array<int, 101> makePositionTable()
{
    std::array<int, 101> table{};
    for (const Run &run : Runs) {
        for (int step = 0; step < run.length; ++step)
            table[run.first + step] = 6 - step;
    }
    return table;
}

constexpr std::array<int, 101> PositionTable = makePositionTable();

} // namespace

int swatchForCount(int count)
{
    if (count <= 1)
        return 7;
    if (count > 400)
        return 6;
    const int position = (count - 1) % 100 + 1;
    if (position == 1)
        return count == 201 ? 0 : 6;
    return PositionTable[position];
}

int swatchForCount(int count, bool cycle)
{
    constexpr int LastOfTable = 400;
    constexpr int CycleStart = 301;
    constexpr int Period = 100;
    if (cycle && count > LastOfTable)
        return swatchForCount(CycleStart + (count - CycleStart) % Period);
    return swatchForCount(count);
}
