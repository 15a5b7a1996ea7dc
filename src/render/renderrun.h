#pragma once

#include "core/colorref.h"
#include "core/drawing.h"
#include "core/picturecounts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class ColumnsAhead;
class DrawingSurface;
class Platform;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
struct FormState;

// The controls a run reads and writes.
struct RunControls
{
    QLineEdit *txtX0, *txtX1, *txtY0, *txtY1, *txtMaxIter;
    std::array<QLabel *, 8> lblF;
    QLabel *lblCounts, *lblPixel, *lblBar, *lblI, *lblJ;
    QPushButton *btStop;
    // cbStart, btC, cbFC, cbF1..cbF6, btF0..btF7: what could start a second
    // run or disturb this one, disabled while it runs.
    std::array<QWidget *, 17> lockedWhileRunning;
};

// The render run, the click of cbStart. It reads the section, Imax and the
// palette from the window, then walks the 462 × 462 grid column by column
// (each column bottom to top), draws every point in the swatch colour of its
// iteration count and keeps lblCounts, lblPixel and lblBar up to date.
// Between two points it lets window events run, so btStop can pause it and
// the window can be closed.
//
// Fresh start or continue mode: continue mode when resumeRequested is set
// and the run was paused; it starts at the form state's resume column and
// carries the totals on. Ends:
//   completed   the last column is done; the seventeen controls enabled
//   paused      stopRequested seen after a point; lblI/lblJ show its indices,
//               the form state keeps its column and total
//   failed      a field is not a number, the counters overflow, or the
//               mapping of a grid index to the plane leaves the double range
//               (raised at that point, the points before it drawn): message
//               box, then the controls are enabled
//   window gone formAlive seen cleared after a point: returns, and writes
//               nothing more to the window
//
// With the fast kernel the counts come from worker threads that compute the
// columns ahead of the one being drawn; this thread draws and counts the
// points in the same order and lets events run after a point exactly as
// before. It waits for a late column no longer than until the next event
// pass is due, then computes the next point itself. Every end of the run
// stops and joins the workers.
class RenderRun : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultEventIntervalMs = 8;

    // Where the counts come from. Both give the same counts, point for point.
    enum class Kernel {
        Plain, // punkt_iteration per point, on this thread
        Fast,  // the column kernel on worker threads, columns ahead
    };

    // `window` parents the message box.
    RenderRun(const RunControls &controls, FormState &state, DrawingSurface &surface,
              Platform &platform, QWidget *window, QObject *parent = nullptr);

    // Returns when the run has reached one of its ends.
    void run();

    // How long the run computes before it lets events run again. 0 lets them
    // run after every point, which only benchmarks of that cost want.
    void setEventInterval(int milliseconds);

    // Fast unless a benchmark or a test asks for the plain kernel.
    void setKernel(Kernel kernel) { m_kernel = kernel; }
    Kernel kernel() const { return m_kernel; }

signals:
    // The fields were read and the run is about to draw; `continued` in
    // continue mode.
    void started(const Drawing &record, bool continued);
    // lblPixel and lblCounts show these now.
    void countsShown(const PictureCounts &counts);
    // The last column is drawn and the controls are enabled again.
    void completed();

private:
    enum class End { Completed, Paused, Failed, WindowGone };

    // What a run reads at its start and keeps for its whole duration.
    struct Setup
    {
        Drawing drawing;
        std::int64_t countsTotal;
        int firstColumn;
        // The grid mapping leaves the double range from this column, and in
        // every column from this row on (beyond GridLimit: never).
        int overflowColumn;
        int overflowRow;
        QString groupSeparator;
        bool continued;
    };

    struct Progress
    {
        std::int64_t countsTotal;
        int lastColumnDone; // 0 while no column of this run is complete
        int workSinceClock;
    };

    std::optional<Setup> start(bool wasPaused);
    bool readFields(Setup &setup) const;
    void chooseMode(Setup &setup, bool wasPaused);
    End walk(const Setup &setup, Progress &progress);
    End walkPlain(const Setup &setup, Progress &progress);
    End walkAhead(ColumnsAhead &ahead, const Setup &setup, Progress &progress);
    const std::int16_t *nextColumn(ColumnsAhead &ahead) const;
    static bool overflowsAt(int i, int j, const Setup &setup)
    {
        return i >= setup.overflowColumn || j >= setup.overflowRow;
    }
    std::int16_t countHere(int i, int j, const Setup &setup, Progress &progress) const;
    std::optional<End> takePoint(int i, int j, std::int16_t count, const Setup &setup,
                                 Progress &progress);
    void letEventsRun(const Setup &setup, const Progress &progress);
    void pause(int i, int j);
    void showProgress(const Setup &setup, const Progress &progress);
    void fail();
    void setControlsEnabled(bool enabled);

    RunControls m_controls;
    FormState &m_state;
    DrawingSurface &m_surface;
    Platform &m_platform;
    QWidget *m_window;
    QElapsedTimer m_sinceEvents;
    int m_eventIntervalMs = DefaultEventIntervalMs;
    int m_workBetweenClockReads = 0;
    Kernel m_kernel = Kernel::Fast;
};
