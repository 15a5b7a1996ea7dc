#include "export/messagetexts.h"

#include <QList>

#include <cerrno>

namespace {

struct ErrorText
{
    int error;
    const char *text;
};

// What writing or reading a file can meet, as the user should read it.
const ErrorText ErrorTexts[] = {
    {ENOSPC, "Kein Platz mehr auf dem Gerät"},
    {EDQUOT, "Das Speicherkontingent ist erschöpft"},
    {EFBIG, "Die Datei wird zu groß"},
    {EACCES, "Keine Berechtigung"},
    {EPERM, "Keine Berechtigung"},
    {ENOENT, "Der Ordner existiert nicht"},
    {ENOTDIR, "Ein Teil des Pfades ist kein Ordner"},
    {EROFS, "Das Dateisystem ist nur lesbar"},
    {EISDIR, "Das Ziel ist ein Ordner"},
    {ENAMETOOLONG, "Der Name ist zu lang"},
    {EIO, "Ein-/Ausgabefehler"},
    {ELOOP, "Zu viele Ebenen symbolischer Verknüpfungen"},
    {ENOMEM, "Nicht genug Arbeitsspeicher"},
    {EMFILE, "Zu viele offene Dateien"},
    {ENFILE, "Zu viele offene Dateien im System"},
    {ETXTBSY, "Die Datei wird gerade ausgeführt"},
    {EBUSY, "Das Gerät oder die Datei ist belegt"},
    {EXDEV, "Verknüpfung über Dateisystemgrenzen hinweg"},
    {EMLINK, "Zu viele Verknüpfungen"},
    {ENXIO, "Kein solches Gerät oder keine solche Adresse"},
    {ENODEV, "Kein solches Gerät"},
    {EINVAL, "Ungültiges Argument"},
    {EOPNOTSUPP, "Das Dateisystem kann das nicht"},
    {EAGAIN, "Die Mittel sind vorübergehend erschöpft"},
    {EOVERFLOW, "Der Wert ist zu groß für den Datentyp"},
    {ESTALE, "Die Netzwerkdatei ist nicht mehr gültig"},
    {EINTR, "Unterbrochen"},
    {EEXIST, "Die Datei existiert schon"},
    {EBADF, "Ungültiger Dateideskriptor"},
    {EPIPE, "Die Gegenseite ist geschlossen"},
    {ESPIPE, "Die Datei lässt sich nicht durchsuchen"},
    {ENOTCONN, "Keine Verbindung"},
    {ETIMEDOUT, "Zeitüberschreitung"},
    {EUCLEAN, "Das Dateisystem ist beschädigt"},
    {ENOLCK, "Keine Sperren mehr verfügbar"},
};

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

QString escaped(char32_t c)
{
    switch (c) {
    case '\n': return QStringLiteral("\\n");
    case '\r': return QStringLiteral("\\r");
    case '\t': return QStringLiteral("\\t");
    default: return u"\\x"_qs + QString::number(uint(c), 16).toUpper().rightJustified(2, u'0');
    }
}

// Length of the well-formed UTF-8 sequence at `at`, 0 if there is none.
int sequenceAt(const QByteArray &bytes, qsizetype at, char32_t *c)
{
    const auto lead = uchar(bytes[at]);
    const int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                     : lead >= 0xF0 && lead < 0xF5                    ? 4
                                                                      : 0;
    if (length == 0 || at + length > bytes.size())
        return 0;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = uchar(bytes[at + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (next & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
        return 0;
    *c = value;
    return length;
}

} // namespace

QString germanErrorText(int error)
{
    for (const ErrorText &entry : ErrorTexts) {
        if (entry.error == error)
            return QString::fromUtf8(entry.text);
    }
    return QStringLiteral("Systemfehler %1").arg(error);
}

QString germanReadErrorText(int error)
{
    if (error == ENOENT)
        return QStringLiteral("Die Datei oder das Verzeichnis konnte nicht gefunden werden");
    return germanErrorText(error);
}

QString shownText(const QString &text)
{
    QString shown;
    for (char32_t c : text.toUcs4())
        shown += isControl(c) ? escaped(c) : QString::fromUcs4(&c, 1);
    return shown;
}

QString shownName(const QByteArray &name)
{
    QString shown;
    for (qsizetype at = 0; at < name.size();) {
        char32_t c = 0;
        const int length = sequenceAt(name, at, &c);
        if (length == 0) {
            shown += escaped(uchar(name[at]));
            ++at;
            continue;
        }
        shown += isControl(c) ? escaped(c) : QString::fromUcs4(&c, 1);
        at += length;
    }
    return shown;
}
