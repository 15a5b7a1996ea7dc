#include "export/readablefile.h"

#include "export/messagetexts.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool openReadable(QFile &file, const QByteArray &path, QString *whyNot)
{
    // Not blocking: opening a FIFO would wait for a writer.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *whyNot = germanReadErrorText(errno) + u'.';
        return false;
    }
    struct stat status{};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *whyNot = S_ISDIR(status.st_mode) ? QStringLiteral("Das ist ein Ordner, keine Datei.")
                                          : QStringLiteral("Das ist keine gewöhnliche Datei.");
        ::close(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *whyNot = germanReadErrorText(EBADF) + u'.';
        ::close(fd);
        return false;
    }
    return true;
}
