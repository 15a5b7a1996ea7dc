#pragma once

#include <QByteArray>
#include <QString>

#include <climits>
#include <cstddef>

// The file an export (or Save) writes, replaced whole or not at all.
//
// The data go to an unnamed file in the target's folder (O_TMPFILE), linked
// in only once everything is written and on disk, so that even SIGKILL leaves
// nothing behind; where the file system refuses unnamed files, a short hidden
// name beside the target takes its place. The target's name is bytes, used as
// given, and needs no room for a suffix.
//
// Where the target is: a symlink is followed and the file it names replaced,
// the link stays; a device, FIFO or socket is refused and left alone; a
// replaced file keeps its mode (and, for root, its owner).
//
// Signals (for a command-line program, SignalCleanup::On): SIGINT, SIGTERM,
// SIGHUP, SIGQUIT and SIGXCPU end the program with 128 + the signal's number
// and nothing left behind, unless the program inherited "ignore" for them
// (nohup, &). Once commit() has put the file in place, they are ignored, so
// that the program ends with 0. A window leaves its signals alone (Off).
class TargetFile
{
public:
    enum class SignalCleanup { On, Off };

    explicit TargetFile(const QByteArray &target, SignalCleanup cleanup = SignalCleanup::On);
    explicit TargetFile(const QString &target, SignalCleanup cleanup = SignalCleanup::On);
    ~TargetFile();
    TargetFile(const TargetFile &) = delete;
    TargetFile &operator=(const TargetFile &) = delete;

    bool open();
    bool write(const char *data, std::size_t size);
    // For writers that want to write themselves (-1 unless open).
    int descriptor() const { return m_fd; }
    // fsync, mode and owner, then in place of the target.
    bool commit();

    // German, naming the file: „/tmp/a.png“ lässt sich nicht schreiben: Kein Platz mehr auf dem Gerät.
    QString error() const { return m_error; }
    // The reason alone: "Kein Platz mehr auf dem Gerät".
    QString reason() const { return m_reason; }

private:
    bool openNamed();
    bool linkIn();
    bool fail(int error);
    bool refuse(const QString &reason);
    void discard();

    QByteArray m_target;   // as given
    QByteArray m_resolved; // symlinks followed
    QByteArray m_folder;
    QByteArray m_named;    // the temporary file's name, while it has one
    char m_nameBuffer[PATH_MAX + 1];
    int m_fd = -1;
    bool m_signals;
    bool m_unnamed = false;
    bool m_existed = false;
    unsigned m_mode = 0, m_owner = 0, m_group = 0;
    QString m_error;
    QString m_reason;
};
