#include "export/videoencoder.h"

#include "export/messagetexts.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// A larger pipe lets ffmpeg take a whole band at once.
constexpr int PipeBytes = 1 << 20;
constexpr int MaxMessageBytes = 4096;

} // namespace

VideoEncoder::VideoEncoder(int width, int height, int fps, std::vector<std::uint32_t> rgbPalette)
    : m_width(width),
      m_height(height),
      m_fps(fps)
{
    for (std::uint32_t rgb : rgbPalette)
        m_rgbOf.insert(m_rgbOf.end(), {std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb)});
}

VideoEncoder::~VideoEncoder()
{
    kill();
    finish();
    if (m_pipe >= 0)
        close(m_pipe);
    if (m_messages >= 0)
        close(m_messages);
}

// H.264 in 4:2:0 as every player takes it, tagged BT.709 as HD video is;
// x264's CRF 18 keeps the flat colour bands free of blocks, the animation
// tuning suits their sharp edges, and the index goes first so a film
// starts playing before it is fully loaded. The slower presets save bits
// mostly on the pixel noise near the boundary, which 4:2:0 loses anyway,
// at two and a half times the encoder's processor time; "veryfast" keeps
// the encoder from outweighing the kernel. Every part starts on a key
// frame, as every x264 stream does, so parts join with -c copy.
QStringList VideoEncoder::arguments(int width, int height, int fps)
{
    return {u"-hide_banner"_qs, u"-nostdin"_qs, u"-loglevel"_qs, u"error"_qs,
            u"-f"_qs, u"rawvideo"_qs, u"-pix_fmt"_qs, u"rgb24"_qs,
            u"-video_size"_qs, u"%1x%2"_qs.arg(width).arg(height), u"-framerate"_qs, QString::number(fps),
            u"-i"_qs, u"pipe:0"_qs,
            u"-vf"_qs, u"scale=out_color_matrix=bt709:out_range=tv,format=yuv420p"_qs,
            u"-c:v"_qs, u"libx264"_qs, u"-preset"_qs, QString::fromLatin1(Preset), u"-crf"_qs, QString::number(Crf),
            u"-tune"_qs, u"animation"_qs,
            u"-colorspace"_qs, u"bt709"_qs, u"-color_primaries"_qs, u"bt709"_qs, u"-color_trc"_qs, u"bt709"_qs,
            u"-color_range"_qs, u"tv"_qs,
            u"-movflags"_qs, u"+faststart"_qs, u"-f"_qs, u"mp4"_qs, u"-y"_qs, u"file:/dev/fd/3"_qs};
}

bool VideoEncoder::start(int fd)
{
    // A dead encoder must show as a failed write, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return failed(germanErrorText(errno));
    fcntl(pipeEnds[1], F_SETPIPE_SZ, PipeBytes);
    m_pipe = pipeEnds[1];
    m_messages = memfd_create("ffmpeg-messages", MFD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (m_messages >= 0)
        posix_spawn_file_actions_adddup2(&actions, m_messages, 2);
    posix_spawn_file_actions_adddup2(&actions, fd, 3);
    std::vector<QByteArray> texts{"ffmpeg"};
    for (const QString &argument : arguments(m_width, m_height, m_fps))
        texts.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (spawned == 0)
        m_pid = pid;
    if (spawned == ENOENT) {
        return failed(u"ffmpeg fehlt; bitte das Paket „ffmpeg“ installieren (apt install ffmpeg)."_qs);
    }
    if (spawned != 0) {
        return failed(u"ffmpeg startet nicht: %1."_qs.arg(germanErrorText(spawned)));
    }
    return true;
}

bool VideoEncoder::writeRows(const std::uint8_t *indices, int rows)
{
    const std::size_t pixels = std::size_t(m_width) * std::size_t(rows);
    m_rgb.resize(3 * pixels);
    for (std::size_t k = 0; k < pixels; ++k) {
        const std::uint8_t *rgb = &m_rgbOf[3 * std::size_t(indices[k])];
        m_rgb[3 * k] = rgb[0];
        m_rgb[3 * k + 1] = rgb[1];
        m_rgb[3 * k + 2] = rgb[2];
    }
    const char *data = reinterpret_cast<const char *>(m_rgb.data());
    std::size_t left = m_rgb.size();
    while (left > 0) {
        const ssize_t written = ::write(m_pipe, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            finish();
            return m_error.isEmpty() ? failed(encoderMessage()) : false;
        }
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

bool VideoEncoder::finish()
{
    if (m_pipe >= 0)
        close(m_pipe);
    m_pipe = -1;
    if (m_pid < 0)
        return m_error.isEmpty();
    // Waits without reaping, so that kill() never meets a pid used anew.
    siginfo_t info{};
    while (waitid(P_PID, id_t(m_pid.load()), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    int status = 0;
    rusage usage{};
    {
        std::lock_guard lock(m_pidMutex);
        while (wait4(m_pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    m_encoderSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                       + 1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return m_error.isEmpty();
    return failed(encoderMessage());
}

void VideoEncoder::kill()
{
    std::lock_guard lock(m_pidMutex);
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
}

bool VideoEncoder::failed(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why;
    return false;
}

// ffmpeg's last line, or its exit as such.
QString VideoEncoder::encoderMessage() const
{
    QByteArray messages;
    if (m_messages >= 0) {
        const off_t size = lseek(m_messages, 0, SEEK_END);
        const off_t from = std::max<off_t>(0, size - MaxMessageBytes);
        messages.resize(qsizetype(size - from));
        if (pread(m_messages, messages.data(), std::size_t(messages.size()), from) != ssize_t(messages.size()))
            messages.clear();
    }
    const QList<QByteArray> lines = messages.trimmed().split('\n');
    const QString last = QString::fromLocal8Bit(lines.constLast()).trimmed();
    return last.isEmpty() ? u"ffmpeg ist mit einem Fehler beendet."_qs : u"ffmpeg meldet: %1"_qs.arg(last);
}
