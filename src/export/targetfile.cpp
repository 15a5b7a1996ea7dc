#include "export/targetfile.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the signal handler removes; a handler may only use plain memory.
char pathToRemove[PATH_MAX + 1];
volatile std::sig_atomic_t removeOnSignal = 0;
const int CleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removeAndExit(int signal)
{
    if (removeOnSignal)
        unlink(pathToRemove);
    _exit(128 + signal);
}

// Creates the temporary file from `pattern` in the handler's own buffer, so
// that from the moment it exists a signal removes it.
int createArmed(const QByteArray &pattern)
{
    std::memcpy(pathToRemove, pattern.constData(), std::size_t(pattern.size()) + 1);
    struct sigaction action{};
    action.sa_handler = removeAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : CleanedSignals)
        sigaction(signal, &action, nullptr);
    // Beyond a file-size limit a write should fail with EFBIG and be
    // reported, rather than end the program with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    removeOnSignal = 1;
    return mkstemp(pathToRemove);
}

void disarmSignals()
{
    removeOnSignal = 0;
}

} // namespace

QString germanErrorText(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("Kein Platz mehr auf dem Gerät");
    case EDQUOT: return QStringLiteral("Das Speicherkontingent ist erschöpft");
    case EFBIG: return QStringLiteral("Die Datei wird zu groß");
    case EACCES: case EPERM: return QStringLiteral("Keine Berechtigung");
    case ENOENT: return QStringLiteral("Der Ordner existiert nicht");
    case ENOTDIR: return QStringLiteral("Ein Teil des Pfades ist kein Ordner");
    case EROFS: return QStringLiteral("Das Dateisystem ist nur lesbar");
    case EISDIR: return QStringLiteral("Das Ziel ist ein Ordner");
    case ENAMETOOLONG: return QStringLiteral("Der Name ist zu lang");
    case EIO: return QStringLiteral("Ein-/Ausgabefehler");
    default: return QStringLiteral("Systemfehler %1 (%2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

TargetFile::TargetFile(const QString &target)
    : m_target(target)
{
}

TargetFile::~TargetFile()
{
    discard();
}

bool TargetFile::open()
{
    const QFileInfo info(m_target);
    if (info.isDir())
        return fail(EISDIR);
    const QByteArray pattern = QFile::encodeName(info.absolutePath() + u"/."_qs + info.fileName() + u".XXXXXX"_qs);
    if (pattern.size() > PATH_MAX)
        return fail(ENAMETOOLONG);
    m_fd = createArmed(pattern);
    // Folders such as /proc answer "no such file" for any new name.
    if (m_fd < 0 && errno == ENOENT && QFileInfo(info.absolutePath()).isDir())
        return fail(EACCES);
    if (m_fd < 0)
        return fail(errno);
    m_temporary = pathToRemove;
    return true;
}

bool TargetFile::write(const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(written < 0 ? errno : ENOSPC);
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool TargetFile::commit()
{
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(m_fd, 0666 & ~mask) != 0 || fsync(m_fd) != 0)
        return fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0 || rename(m_temporary.constData(), QFile::encodeName(m_target).constData()) != 0)
        return fail(errno);
    disarmSignals();
    m_temporary.clear();
    return true;
}

bool TargetFile::fail(int error)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("„%1“ lässt sich nicht schreiben: %2.").arg(m_target, germanErrorText(error));
    discard();
    return false;
}

void TargetFile::discard()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty()) {
        unlink(m_temporary.constData());
        m_temporary.clear();
    }
    disarmSignals();
}
