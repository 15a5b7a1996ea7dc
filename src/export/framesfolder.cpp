#include "export/framesfolder.h"

#include "export/messagetexts.h"
#include "picturefile/pngbandwriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// As for a single file: fast compression keeps the writer up with the workers.
constexpr int CompressionLevel = 1;

// The folder the signal handler empties and removes; plain memory only.
char folderToRemove[PATH_MAX + 1];
volatile std::sig_atomic_t removeOnSignal = 0;

// Only calls that are safe in a signal handler: open, getdents64, unlinkat, rmdir.
void removeFolder(const char *path)
{
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        for (long got; (got = syscall(SYS_getdents64, fd, buffer, sizeof buffer)) > 0;) {
            for (long at = 0; at < got;) {
                const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    unlinkat(fd, entry->d_name, 0);
                at += entry->d_reclen;
            }
        }
        close(fd);
    }
    rmdir(path);
}

extern "C" void removeFolderAndExit(int signal)
{
    if (removeOnSignal)
        removeFolder(folderToRemove);
    _exit(128 + signal);
}

bool createArmed(const QByteArray &pattern)
{
    std::memcpy(folderToRemove, pattern.constData(), std::size_t(pattern.size()) + 1);
    struct sigaction action{};
    action.sa_handler = removeFolderAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
    removeOnSignal = 1;
    return mkdtemp(folderToRemove) != nullptr;
}

} // namespace

FramesFolder::FramesFolder(const QString &folder, int width, int height, std::vector<std::uint32_t> rgbPalette,
                           TextsOf textsOf)
    : m_folder(folder),
      m_width(width),
      m_height(height),
      m_palette(std::move(rgbPalette)),
      m_textsOf(std::move(textsOf))
{
}

FramesFolder::~FramesFolder()
{
    discard();
}

QString FramesFolder::frameName(int frame)
{
    return QStringLiteral("frame-%1.png").arg(frame, 6, 10, QLatin1Char('0'));
}

bool FramesFolder::open()
{
    const QByteArray pattern = QFile::encodeName(QFileInfo(m_folder).absoluteFilePath() + u"/.quirlbau-XXXXXX"_qs);
    if (pattern.size() > PATH_MAX)
        return fail(m_folder, ENAMETOOLONG);
    if (!createArmed(pattern)) {
        removeOnSignal = 0;
        return fail(m_folder, errno);
    }
    m_temporary = folderToRemove;
    return true;
}

bool FramesFolder::beginFrame(int frame)
{
    m_frame = frame;
    const QByteArray path = m_temporary + '/' + QFile::encodeName(frameName(frame));
    m_fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return fail(m_folder, errno);
    m_written.push_back(frame);
    m_png = std::make_unique<PngBandWriter>(
        [this](const char *data, std::size_t size) {
            while (size > 0) {
                const ssize_t written = ::write(m_fd, data, size);
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return fail(m_folder, written < 0 ? errno : ENOSPC);
                data += written;
                size -= std::size_t(written);
            }
            return true;
        },
        m_width, m_height, m_palette, m_textsOf(frame), CompressionLevel);
    return true;
}

bool FramesFolder::writeRows(const std::uint8_t *indices, int rows)
{
    if (m_png->writeRows(indices, rows))
        return true;
    if (m_error.isEmpty())
        m_error = u"„%1“: %2"_qs.arg(m_folder, m_png->error());
    return false;
}

bool FramesFolder::endFrame()
{
    const bool finished = m_png->finish();
    m_png.reset();
    if (!finished && m_error.isEmpty())
        m_error = u"„%1“: Das Bild %2 ließ sich nicht fertig schreiben."_qs.arg(m_folder, frameName(m_frame));
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0)
        return fail(m_folder, errno);
    return finished;
}

bool FramesFolder::commit()
{
    const int fd = ::open(m_temporary.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        return fail(m_folder, error);
    }
    close(fd);
    const QByteArray folder = QFile::encodeName(m_folder);
    for (int frame : m_written) {
        const QByteArray name = QFile::encodeName(frameName(frame));
        if (rename((m_temporary + '/' + name).constData(), (folder + '/' + name).constData()) != 0)
            return fail(m_folder, errno);
    }
    m_written.clear();
    rmdir(m_temporary.constData());
    removeOnSignal = 0;
    m_temporary.clear();
    return true;
}

bool FramesFolder::fail(const QString &name, int error)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("„%1“ lässt sich nicht schreiben: %2.").arg(name, germanErrorText(error));
    return false;
}

void FramesFolder::discard()
{
    m_png.reset();
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty()) {
        removeOnSignal = 0;
        removeFolder(m_temporary.constData());
        m_temporary.clear();
    }
}
