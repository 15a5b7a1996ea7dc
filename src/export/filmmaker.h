#pragma once

#include "core/filmpath.h"
#include "export/deepfilmpath.h"
#include "export/deepoptions.h"
#include "export/filmrequest.h"
#include "export/framecomputer.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

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

    // `request` must have passed FilmPath::between, or DeepFilmPath::between
    // for a deep film (see FilmRequest).
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

    // Frame k as a still of its view: its record (section, Imax, size,
    // colours) and, where it is drawn as a view by centre and width, that
    // view. A frame whose view doubles hold (and whose Imax fits 32,767) is
    // drawn from its section as any film's frame; the others as
    // --render --re --im --width of its view draws it.
    struct Frame
    {
        PictureRecord record;
        std::optional<DeepRequest> deep;
    };
    Frame frame(int k) const;
    // What computes frame k's pixels.
    std::unique_ptr<FrameComputer> computer(int k) const;
    // The texts of frame k's picture: a still's, and `Frame` k.
    PictureTexts frameTexts(int k) const;
    // The path of a film with a deep view (request.deep); nullopt, with
    // the reason, where no zoom joins its views.
    static std::optional<DeepFilmPath> deepPathOf(const FilmRequest &request, FilmPath::Refusal *whyNot = nullptr);
    // How many of the frames to make are drawn as deep views.
    int deepFrames() const;

private:
    bool renderFrames(class FrameSink &sink);
    bool toFolder();
    bool toVideo();

    FilmRequest m_request;
    std::optional<FilmPath> m_path;         // a film of sections
    std::optional<DeepFilmPath> m_deepPath; // a film with a view by centre and width
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
