#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Opens `path` (bytes, as given) into `file` for reading. A FIFO, device or
// socket is refused without waiting on it, and so is a folder. False with a
// German sentence in *whyNot: "Die Datei oder das Verzeichnis konnte nicht
// gefunden werden."
bool openReadable(QFile &file, const QByteArray &path, QString *whyNot);
