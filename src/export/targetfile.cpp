#include "export/targetfile.h"

#include "export/messagetexts.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int MaxLinks = 40; // as the kernel allows in one path
constexpr char TemporaryPrefix[] = "/.quirlbau-";
constexpr int TemporaryTries = 100;

// What the signal handler sees; a handler may only use plain memory.
enum State : int {
    Idle,       // no file being written: the signal ends the program
    Writing,    // m_named (if any) is ours to remove
    Committing, // the file is being put in place: the signal waits
    InPlace,    // the file is in place: the signal is ignored
    Exiting,    // the handler is removing the file and ending the program
};
std::atomic<int> state{Idle};
std::atomic<int> pendingSignal{0};
char namedToRemove[PATH_MAX + 1];
const int CleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU};

extern "C" void onSignal(int signal)
{
    int expected = Committing;
    if (state.load() == InPlace)
        return;
    if (state.compare_exchange_strong(expected, Committing)) {
        pendingSignal = signal;
        return;
    }
    expected = Writing;
    if (state.compare_exchange_strong(expected, Exiting) && namedToRemove[0] != '\0')
        unlink(namedToRemove);
    _exit(128 + signal);
}

// Once per program; an inherited "ignore" (nohup, a shell's &) is kept.
void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : CleanedSignals) {
        struct sigaction inherited{};
        if (sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
    // Beyond a file-size limit a write should fail with EFBIG and be
    // reported, rather than end the program with the file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

// Removes a named temporary file; a signal that came meanwhile ends the
// program now.
void stopWriting()
{
    int expected = Committing;
    state.compare_exchange_strong(expected, Idle);
    expected = Writing;
    state.compare_exchange_strong(expected, Idle);
    if (const int signal = pendingSignal.exchange(0))
        _exit(128 + signal);
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The path with every symlink of its last part followed; a path that does
// not exist yet is the file to create. 0 or an error number.
int resolve(QByteArray &path)
{
    for (int depth = 0; depth <= MaxLinks; ++depth) {
        struct stat status{};
        if (lstat(path.constData(), &status) != 0)
            return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(status.st_mode))
            return 0;
        QByteArray link(PATH_MAX, '\0');
        const ssize_t length = readlink(path.constData(), link.data(), std::size_t(link.size()));
        if (length < 0)
            return errno;
        link.truncate(length);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    return ELOOP;
}

QByteArray randomSuffix()
{
    static std::mt19937 generator{std::random_device{}()};
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix;
    for (int k = 0; k < 8; ++k)
        suffix += Letters[generator() % (sizeof Letters - 1)];
    return suffix;
}

bool procFdUsable()
{
    return access("/proc/self/fd", X_OK) == 0;
}

} // namespace

TargetFile::TargetFile(const QByteArray &target, SignalCleanup cleanup)
    : m_target(target), m_signals(cleanup == SignalCleanup::On)
{
}

TargetFile::TargetFile(const QString &target, SignalCleanup cleanup)
    : TargetFile(QFile::encodeName(target), cleanup)
{
}

TargetFile::~TargetFile()
{
    discard();
}

bool TargetFile::open()
{
    m_resolved = m_target;
    if (const int error = resolve(m_resolved))
        return fail(error);
    struct stat status{};
    m_existed = stat(m_resolved.constData(), &status) == 0;
    if (m_existed && S_ISDIR(status.st_mode))
        return fail(EISDIR);
    if (m_existed && !S_ISREG(status.st_mode))
        return refuse(QStringLiteral("Das Ziel ist keine gewöhnliche Datei (ein Gerät, eine FIFO oder ein "
                                     "Socket); es bleibt, wie es ist"));
    m_mode = status.st_mode & 07777;
    m_owner = status.st_uid;
    m_group = status.st_gid;
    m_folder = folderOf(m_resolved);
    // The unnamed file would find out only when it is linked in, after all
    // the work.
    const long nameMax = pathconf(m_folder.constData(), _PC_NAME_MAX);
    if (m_resolved.size() - m_resolved.lastIndexOf('/') - 1 > (nameMax > 0 ? nameMax : NAME_MAX))
        return fail(ENAMETOOLONG);
    if (m_signals) {
        installHandlers();
        namedToRemove[0] = '\0';
        state = Writing;
    }
    if (procFdUsable()) {
        m_fd = ::open(m_folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        m_unnamed = m_fd >= 0;
        if (m_unnamed)
            return true;
    }
    return openNamed();
}

// Where the file system has no unnamed files.
bool TargetFile::openNamed()
{
    const QByteArray pattern = m_folder + TemporaryPrefix + "XXXXXX";
    if (pattern.size() > PATH_MAX)
        return fail(ENAMETOOLONG);
    // In the handler's own buffer, so that from the moment the file exists
    // a signal removes it.
    char *name = m_signals ? namedToRemove : m_nameBuffer;
    std::memcpy(name, pattern.constData(), std::size_t(pattern.size()) + 1);
    m_fd = mkstemp(name);
    const int error = errno;
    if (m_fd < 0) {
        name[0] = '\0';
        struct stat folder{};
        // Folders such as /proc answer "no such file" for any new name.
        return fail(error == ENOENT && stat(m_folder.constData(), &folder) == 0 && S_ISDIR(folder.st_mode)
                        ? EACCES
                        : error);
    }
    m_named = name;
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
    mode_t mode = mode_t(m_mode);
    if (!m_existed) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    // Changing the owner clears set-id bits, so it comes first; only root
    // may give a file away, and for others it is no failure.
    if (m_existed && fchown(m_fd, m_owner, m_group) != 0 && errno != EPERM)
        return fail(errno);
    if (fchmod(m_fd, mode) != 0 || fsync(m_fd) != 0)
        return fail(errno);
    int expected = Writing;
    if (m_signals && !state.compare_exchange_strong(expected, Committing))
        return fail(EINTR);
    if (!linkIn())
        return false;
    if (m_signals) {
        state = InPlace;
        pendingSignal = 0;
        namedToRemove[0] = '\0';
    }
    const int fd = m_fd;
    m_fd = -1;
    m_named.clear();
    close(fd);
    return true;
}

// The file under its name: an unnamed one is linked in first, straight
// under the target's name when there is none yet.
bool TargetFile::linkIn()
{
    if (m_unnamed) {
        char procPath[64];
        std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", m_fd);
        if (!m_existed && linkat(AT_FDCWD, procPath, AT_FDCWD, m_resolved.constData(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        for (int attempt = 0; m_named.isEmpty() && attempt < TemporaryTries; ++attempt) {
            const QByteArray name = m_folder + TemporaryPrefix + randomSuffix();
            if (linkat(AT_FDCWD, procPath, AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
                m_named = name;
            else if (errno != EEXIST)
                return fail(errno);
        }
        if (m_named.isEmpty())
            return fail(EEXIST);
    }
    if (rename(m_named.constData(), m_resolved.constData()) != 0)
        return fail(errno);
    return true;
}

bool TargetFile::fail(int error)
{
    return refuse(germanErrorText(error));
}

bool TargetFile::refuse(const QString &reason)
{
    if (m_error.isEmpty()) {
        m_reason = reason;
        m_error = QStringLiteral("„%1“ lässt sich nicht schreiben: %2.").arg(shownName(m_target), reason);
    }
    discard();
    return false;
}

void TargetFile::discard()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    if (!m_named.isEmpty()) {
        unlink(m_named.constData());
        m_named.clear();
    }
    if (m_signals && (state.load() == Writing || state.load() == Committing)) {
        namedToRemove[0] = '\0';
        stopWriting();
    }
}
