#pragma once

#include <QByteArray>
#include <QString>

// The pieces of the program's one-line German messages.

// The German words for a system error number, from the program's own table of
// the errors a file can meet, so that they come in German on any machine:
// ENOSPC -> "Kein Platz mehr auf dem Gerät", ELOOP -> "Zu viele Ebenen
// symbolischer Verknüpfungen"; others "Systemfehler 123".
QString germanErrorText(int error);

// The same for reading a file: ENOENT -> "Die Datei oder das Verzeichnis
// konnte nicht gefunden werden" (germanErrorText speaks of the folder).
QString germanReadErrorText(int error);

// A value echoed in a message, on one line: control characters escaped.
// "a\nb" -> "a\\nb", "x\x01" -> "x\\x01".
QString shownText(const QString &text);

// A file name, which is bytes: UTF-8 as it is, other bytes and control
// characters escaped. "bad\xff\xfe.png" -> "bad\\xFF\\xFE.png".
QString shownName(const QByteArray &name);
