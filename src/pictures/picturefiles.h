#pragma once

#include "picturefile/picturerecord.h"

#include <QObject>
#include <QString>

class DrawingSurface;
class PictureRestorer;
class Platform;
class QImage;
class QWidget;
class SurfaceRecord;

// Save, Open and Copy of the surface's picture. A saved picture is an
// indexed PNG of the 400 × 400 pixels as they stand on the surface, the
// undrawn ones in the window's background colour, with text chunks that
// record the last run that drew on it. Opening such a file puts its field
// texts, palette and picture back without a run; an export's texts and
// palette only. Where the window draws a file differently (a deep view, an
// Imax beyond the field, cycled colours) one message says so after it
// opened. Every failure is told in a German message box naming the file,
// and changes nothing.
class PictureFiles : public QObject
{
    Q_OBJECT

public:
    // `window` parents the dialogs and message boxes.
    PictureFiles(DrawingSurface &surface, SurfaceRecord &surfaceRecord, PictureRestorer &restorer,
                 Platform &platform, QWidget *window, QObject *parent = nullptr);

    // The save dialog, proposing a new name in the user's pictures folder;
    // the picture is taken before it opens. The file is written whole or
    // not at all: an existing file stays as it was when anything fails.
    void save();

    // The open dialog, then openFile.
    void open();
    // False after the message box, with nothing changed. The name as bytes
    // opens any file the system can name, UTF-8 or not.
    bool openFile(const QString &path);
    bool openFile(const QByteArray &name);

    // The picture to the clipboard, and the section as text beside it.
    void copy();

signals:
    // A file's picture is on the surface now.
    void opened();

private:
    bool write(const QString &path, const QImage &picture, const PictureRecord &record);
    bool refuseSave(const QString &path, const QString &reason);
    bool refuseOpen(const QByteArray &name, const QString &reason);
    QString proposedPath() const;

    DrawingSurface &m_surface;
    SurfaceRecord &m_surfaceRecord;
    PictureRestorer &m_restorer;
    Platform &m_platform;
    QWidget *m_window;
    QString m_lastFolder;
};
