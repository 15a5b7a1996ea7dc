#pragma once

#include "export/framesink.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <sys/types.h>
#include <vector>

// A film as H.264 in an MP4 file, through Debian's ffmpeg program: the
// frames go to it as raw RGB through a pipe, and it encodes on its own
// processor time while the workers compute the next frames. A full pipe
// holds the writer back, so nothing waits in memory but a pipe's worth.
// The MP4 goes to `fd` (the target's temporary file), which ffmpeg opens
// as /dev/fd/3 so it can seek back and put the index first.
class VideoEncoder : public FrameSink
{
public:
    // The encoder's quality: x264's constant rate factor and preset.
    static constexpr int Crf = 18;
    static constexpr const char *Preset = "veryfast";

    VideoEncoder(int width, int height, int fps, std::vector<std::uint32_t> rgbPalette);
    ~VideoEncoder() override;

    // Starts ffmpeg writing into `fd`; false with a German line when it is
    // not installed or does not start.
    bool start(int fd);
    bool beginFrame(int) override { return true; }
    bool writeRows(const std::uint8_t *indices, int rows) override;
    bool endFrame() override { return true; }
    // Ends the input and waits for ffmpeg; false when it failed.
    bool finish();
    // Ends ffmpeg at once (on cancel); any thread. finish() still follows.
    void kill();
    QString error() const override { return m_error; }
    // Processor time ffmpeg took, known after finish().
    double encoderSeconds() const { return m_encoderSeconds; }

    // ffmpeg's arguments for a film of this size and rate, without the program's name.
    static QStringList arguments(int width, int height, int fps);

private:
    bool failed(const QString &why);
    QString encoderMessage() const;

    int m_width, m_height, m_fps;
    std::vector<std::uint8_t> m_rgbOf; // three bytes per palette index
    std::vector<std::uint8_t> m_rgb; // one band converted
    int m_pipe = -1;
    int m_messages = -1; // ffmpeg's stderr, kept in memory
    std::mutex m_pidMutex; // reaping against kill()
    std::atomic<pid_t> m_pid{-1};
    double m_encoderSeconds = 0;
    QString m_error;
};
