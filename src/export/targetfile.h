#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// The file an export writes: a temporary file beside the target, renamed
// onto it only once everything is written and on disk. Until then the target
// stays as it was, and the temporary file goes away on failure, on
// destruction and on SIGINT, SIGTERM or SIGHUP (the program then exits with
// 128 + the signal's number).
class TargetFile
{
public:
    explicit TargetFile(const QString &target);
    ~TargetFile();
    TargetFile(const TargetFile &) = delete;
    TargetFile &operator=(const TargetFile &) = delete;

    bool open();
    bool write(const char *data, std::size_t size);
    // The open temporary file, for a writer in another process.
    int fd() const { return m_fd; }
    // fsync, the target's permissions, close and rename.
    bool commit();

    // German, naming the file: „/tmp/a.png“ lässt sich nicht schreiben: Kein Platz mehr auf dem Gerät.
    QString error() const { return m_error; }

private:
    bool fail(int error);
    void discard();

    QString m_target;
    QByteArray m_temporary;
    int m_fd = -1;
    QString m_error;
};

// The German words for a system error number, e.g. ENOSPC -> "Kein Platz mehr auf dem Gerät".
QString germanErrorText(int error);
