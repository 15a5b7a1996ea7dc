#include "pictures/picturefiles.h"

#include "core/programinfo.h"
#include "form/drawingsurface.h"
#include "form/platform.h"
#include "pictures/picturecodec.h"
#include "pictures/picturerestorer.h"
#include "pictures/surfacerecord.h"
#include "export/messagetexts.h"
#include "export/readablefile.h"
#include "export/targetfile.h"

#include "form/backcolor.h"

#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>

namespace {

const QString MessageTitle = QString::fromUtf8(ProgramName);

// What the window draws differently from the file, one line each, said
// together in one message.
QStringList openNotes(const PictureCodec::Contents &contents)
{
    QStringList notes;
    if (contents.deepView)
        notes << QStringLiteral("Das Bild ist tiefer gezoomt, als das Fenster rechnen kann (--re, --im, --width); "
                                "das Fenster zeichnet es mit doppelter Genauigkeit.");
    if (contents.imaxBeyondField)
        notes << QStringLiteral("Das Bild ist mit Imax %1 gerechnet; das Feld fasst höchstens %2 und zeigt "
                                "diesen Wert.")
                     .arg(*contents.imaxBeyondField)
                     .arg(ImaxFieldMax);
    if (contents.record.cycle)
        notes << QStringLiteral("Das Bild färbt Zählwerte über 400 im Kreis (--cycle); das Fenster "
                                "zeichnet ohne diese Färbung.");
    return notes;
}

} // namespace

PictureFiles::PictureFiles(DrawingSurface &surface, SurfaceRecord &surfaceRecord,
                           PictureRestorer &restorer, Platform &platform, QWidget *window,
                           QObject *parent)
    : QObject(parent),
      m_surface(surface),
      m_surfaceRecord(surfaceRecord),
      m_restorer(restorer),
      m_platform(platform),
      m_window(window)
{
}

void PictureFiles::save()
{
    // The surface as it is now, whatever a run does while the dialog is open.
    const QImage picture = m_surface.picture().copy();
    const std::optional<Drawing> drawing = m_surfaceRecord.record();
    if (!drawing) {
        m_platform.messageBox(m_window, MessageTitle,
                              QStringLiteral("Noch ist kein Bild gezeichnet, das sich speichern "
                                             "ließe: erst mit „Start“ eines berechnen."));
        return;
    }
    PictureRecord record{*drawing};
    record.complete = m_surfaceRecord.isComplete();
    record.counts = m_surfaceRecord.counts();
    if (const std::optional<QString> path = m_platform.savePictureName(m_window, proposedPath()))
        write(*path, picture, record);
}

bool PictureFiles::write(const QString &path, const QImage &picture, const PictureRecord &record)
{
    // A failure anywhere leaves an existing file as it was: the new one is
    // written beside it and takes its place only when whole. As the export
    // does, a symlink is followed and a device or FIFO refused.
    if (QFileInfo(path).isDir())
        return refuseSave(path, QStringLiteral("Unter diesem Namen steht schon ein Ordner."));
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QString whyNot;
    if (!PictureCodec::write(encoded, picture, record, &whyNot))
        return refuseSave(path, whyNot);
    TargetFile file(path, TargetFile::SignalCleanup::Off);
    if (!file.open())
        return refuseSave(path, QStringLiteral("Die Datei lässt sich dort nicht anlegen: %1.").arg(file.reason()));
    const QByteArray &bytes = encoded.data();
    if (!file.write(bytes.constData(), std::size_t(bytes.size())))
        return refuseSave(path, QStringLiteral("Das Schreiben ist fehlgeschlagen: %1.").arg(file.reason()));
    if (!file.commit())
        return refuseSave(path, QStringLiteral("Die fertige Datei ließ sich nicht an ihren Platz bringen: %1.")
                                    .arg(file.reason()));
    // Only a saved picture moves the folder the dialogs start in.
    m_lastFolder = QFileInfo(path).absolutePath();
    return true;
}

void PictureFiles::open()
{
    const QString folder = m_lastFolder.isEmpty() ? QFileInfo(proposedPath()).absolutePath()
                                                  : m_lastFolder;
    if (const std::optional<QString> path = m_platform.openPictureName(m_window, folder))
        openFile(*path);
}

bool PictureFiles::openFile(const QString &path)
{
    return openFile(QFile::encodeName(path));
}

bool PictureFiles::openFile(const QByteArray &name)
{
    QFile file;
    QString whyNot;
    if (!openReadable(file, name, &whyNot))
        return refuseOpen(name, QStringLiteral("Die Datei lässt sich nicht lesen: %1").arg(whyNot));
    const std::optional<PictureCodec::Contents> contents = PictureCodec::read(file, &whyNot);
    if (!contents)
        return refuseOpen(name, whyNot);
    m_lastFolder = QFileInfo(QFile::decodeName(name)).absolutePath();
    const PictureRecord &record = contents->record;
    if (contents->picture)
        m_restorer.restore(record.drawing, record.counts, *contents->picture);
    else
        m_restorer.restoreWithoutPicture(record.drawing);
    m_surfaceRecord.replaced(record.drawing, record.complete && contents->picture, record.counts);
    const QStringList notes = openNotes(*contents);
    if (!notes.isEmpty())
        m_platform.messageBox(m_window, MessageTitle, notes.join(QStringLiteral("\n\n")));
    emit opened();
    return true;
}

void PictureFiles::copy()
{
    const QImage picture = m_surface.picture().copy();
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(toQColor(WindowBackColor));
    QPainter(&shown).drawImage(0, 0, picture);
    auto *data = new QMimeData;
    data->setImageData(shown);
    if (const std::optional<Drawing> record = m_surfaceRecord.record())
        data->setText(PictureCodec::sectionText(*record));
    QGuiApplication::clipboard()->setMimeData(data);
}

// The proposal is new on every call, so that a second save does not
// overwrite the first unasked.
QString PictureFiles::proposedPath() const
{
    QString folder = m_lastFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hhmmss"));
    return QDir(folder).filePath(QStringLiteral("%1-%2.png").arg(MessageTitle, stamp));
}

bool PictureFiles::refuseSave(const QString &path, const QString &reason)
{
    m_platform.messageBox(m_window, MessageTitle,
                          QStringLiteral("Das Bild ließ sich nicht als „%1“ speichern.\n\n%2")
                              .arg(QDir::toNativeSeparators(path), reason));
    return false;
}

bool PictureFiles::refuseOpen(const QByteArray &name, const QString &reason)
{
    m_platform.messageBox(m_window, MessageTitle,
                          QStringLiteral("„%1“ lässt sich nicht öffnen.\n\n%2").arg(shownName(name), reason));
    return false;
}
