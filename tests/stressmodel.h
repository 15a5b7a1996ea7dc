#pragma once

#include "form/backcolor.h"
#include "expectedpicture.h"

#include <QImage>
#include <QString>

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// The stress test's own account of what the window must show, kept by the
// rules of the run protocol and the kernel alone, never read back from the
// program's state.

// btStop's two captions and faces, as the user sees them.
inline const QString PauseText = QStringLiteral("Berechnung anhalten");
inline const QString ContinueText = QStringLiteral("Berechnung fortsetzen");
inline constexpr ColorRef LightRed = 0x008080FF;
inline constexpr ColorRef LightGreen = 0x0080FF80;

// Seeded and the same on every platform, unlike the standard distributions.
class StressRng
{
public:
    explicit StressRng(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % std::uint64_t(n)); }
    bool percent(int p) { return below(100) < p; }

private:
    std::uint64_t m_state;
};

// Every count of a section's grid in run order, with the running sums, so
// that the total a run shows names the number of points it has drawn: for
// Imax >= 1 every count is at least 1 and the sums rise strictly.
struct KernelTable
{
    std::vector<std::int16_t> counts;
    std::vector<std::int64_t> prefix; // prefix[k]: sum of the first k counts
};

inline const KernelTable &kernelTable(const RunSection &section)
{
    static std::map<std::array<double, 5>, KernelTable> cache;
    const std::array<double, 5> key{section.x0, section.x1, section.y0, section.y1,
                                    double(section.imax)};
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    if (cache.size() >= 8)
        cache.clear();
    KernelTable table{kernelCounts(section), {0}};
    table.prefix.reserve(table.counts.size() + 1);
    for (const std::int16_t count : table.counts)
        table.prefix.push_back(table.prefix.back() + count);
    return cache.emplace(key, std::move(table)).first->second;
}

// (I · 1335) / 6000 twips in single precision, 15 twips to a pixel.
inline int barPixels(int column)
{
    return int(std::lround(float(double(column) * 1335 / 6000) / 15.0));
}

// One entry of the render run that got past reading its fields: a fresh
// start or a continued run, from its first column to wherever it ends.
struct RunSegment
{
    const KernelTable *table = nullptr;
    Palette palette{};
    std::int64_t firstIndex = 0; // run-order index of its first point
    std::int64_t length = 0;     // points up to the end of the grid, or to the overflow
    bool overflows = false;      // the grid's mapping overflows right after `length` points
    std::int64_t pointsBefore = 0;
    std::int64_t totalBefore = 0;
    int barBefore = 0;
    bool countsTellPoints = false; // Imax >= 1
    int passes = 0;
    std::int64_t drawnAtLastPass = 0;
    std::optional<std::int64_t> stopAt;  // points drawn when the pause request came
    std::optional<std::int64_t> closeAt; // points drawn when the window closed

    std::int64_t total(std::int64_t points) const
    {
        return totalBefore + table->prefix[size_t(firstIndex + points)]
               - table->prefix[size_t(firstIndex)];
    }
    // A column counts as done once the run has left it, so a pause at its
    // last point leaves the bar short of it.
    int bar(std::int64_t points, bool completed) const
    {
        const std::int64_t columnsDone = completed ? length / GridPoints : (points - 1) / GridPoints;
        return columnsDone == 0 ? barBefore
                                : barPixels(columnOf(firstIndex + columnsDone * GridPoints - 1));
    }
    QRgb colorOf(std::int64_t point) const
    {
        return toQColor(palette[size_t(swatchForCount(table->counts[size_t(firstIndex + point)]))])
            .rgb();
    }
    void paint(QImage &picture, std::int64_t points) const
    {
        for (std::int64_t k = 0; k < points; ++k)
            picture.setPixel(pixelOf(firstIndex + k), colorOf(k));
    }
};

// What the window must show between two steps.
struct ExpectedWindow
{
    bool alive = true;
    bool paused = false; // btStop reads "Berechnung fortsetzen"
    ColorRef stopFace = 0;
    bool stopRequested = false;
    bool resumeRequested = false;
    QString lblI, lblJ, lblCounts, lblPixel;
    std::int64_t points = 0; // drawn since the last fresh start
    int bar = 0;
    QImage picture;
    qsizetype messages = 0;
    qsizetype colourDialogs = 0;
    int zoomStep = 0; // double-clicks taken of the selection in progress
};
