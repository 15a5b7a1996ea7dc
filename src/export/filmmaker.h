#pragma once

#include "core/filmpath.h"
#include "export/filmrequest.h"
#include "export/posterpixels.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

class FilmRender;
class VideoEncoder;

// Makes a zoom film, for the command line and the window alike: frames
// through FilmRender into ffmpeg or a folder of PNGs, written to a
// temporary file or folder that takes the target's place only when the
// film is complete. run() blocks; cancel() may come from another thread.
class FilmMaker
{
public:
    using Progress = std::function<void(int framesDone, int framesTotal)>; // from the writer thread

    // `request` must have passed FilmPath::between (see FilmRequest).
    explicit FilmMaker(const FilmRequest &request);
    ~FilmMaker();

    void setProgress(Progress progress) { m_progress = std::move(progress); }
    void setThreads(int threads) { m_threads = threads; }
    // Off for a window: its signals stay its own (see TargetFile).
    void setSignalCleanup(bool on) { m_signalCleanup = on; }

    // True once the target is complete; otherwise error() says why in one
    // German line, and nothing is left behind.
    bool run();
    void cancel();
    bool cancelled() const { return m_cancelled; }
    QString error() const { return m_error; }
    // Processor time of the encoder (0 for PNG frames), after run().
    double encoderSeconds() const { return m_encoderSeconds; }

    // Frame k: its view, Imax, size and colours.
    PosterFrame frame(int k) const;
    // Frame k's record, as a still of its view would have it.
    PictureRecord frameRecord(int k) const;

private:
    bool renderFrames(class FrameSink &sink);
    bool toFolder();
    bool toVideo();

    FilmRequest m_request;
    FilmPath m_path;
    Progress m_progress;
    int m_threads = 0;
    bool m_signalCleanup = true;
    std::mutex m_mutex; // m_render, m_encoder
    FilmRender *m_render = nullptr;
    VideoEncoder *m_encoder = nullptr;
    std::atomic<bool> m_cancelled{false};
    double m_encoderSeconds = 0;
    QString m_error;
};
