#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

// Whether process `pid` has a file open in `folder` (Linux /proc). An
// export's unnamed target file shows there as "FOLDER/#123 (deleted)".
// Without /proc the export falls back to a named temporary file, which is
// then what shows.
inline bool writesInto(qint64 pid, const QString &folder)
{
    if (!QFileInfo::exists(u"/proc/self/fd"_qs))
        return !QDir(folder).entryList({u".quirlbau-*"_qs}, QDir::Files | QDir::Hidden).isEmpty();
    const QString prefix = QFileInfo(folder).canonicalFilePath() + u'/';
    const QDir descriptors(u"/proc/%1/fd"_qs.arg(pid));
    for (const QFileInfo &entry : descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.symLinkTarget().startsWith(prefix))
            return true;
    }
    return false;
}

// Waits until the child writes into `folder`; false if it ended or the time
// ran out first.
inline bool waitUntilWriting(QProcess &process, const QString &folder, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs && process.state() != QProcess::NotRunning) {
        if (writesInto(process.processId(), folder))
            return true;
        if (process.waitForFinished(1))
            return false;
    }
    return false;
}
