#pragma once

#include "app/mainwindow.h"
#include "form/backcolor.h"
#include "picturefile/pngtextreader.h"
#include "render/renderrun.h"
#include "runsteps.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

// Tests that act inside a run let events run every millisecond, so their
// queued actions still land mid-run.
inline void letEventsRunEveryMillisecond(MainWindow &window)
{
    window.findChild<RenderRun *>()->setEventInterval(1);
}

// The window of the picture tests, with a platform that answers its dialogs
// at once and a folder for the files they write.
struct PictureWindow
{
    PictureWindow() { window.show(); }

    void runComplete() { clickOn(window.controls().cbStart); }
    void press(int key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(&window, Qt::Key(key), modifiers);
    }

    // Ctrl+S with the dialog answering `name` in the test's folder.
    QString saveNow(const QString &name)
    {
        const QString path = dir.filePath(name);
        platform.fileAnswer = path;
        press(Qt::Key_S, Qt::ControlModifier);
        return path;
    }

    QStringList fieldTexts() const
    {
        const Controls &c = window.controls();
        return {c.txtX0->text(), c.txtX1->text(), c.txtY0->text(), c.txtY1->text(),
                c.txtMaxIter->text()};
    }

    QTemporaryDir dir;
    FakePlatform platform;
    MainWindow window{platform};
};

// The picture as the screen shows it: undrawn pixels in the window's colour.
inline QImage onBackground(const QImage &picture)
{
    QImage shown(picture.size(), QImage::Format_RGB32);
    shown.fill(toQColor(WindowBackColor));
    QPainter(&shown).drawImage(0, 0, picture);
    return shown;
}

inline QImage pixelsOf(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

inline std::optional<PictureRecord> recordOf(const QString &path)
{
    QFile file(path);
    QString whyNot;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<PngHeaderAndTexts> header = readPngTexts(file, &whyNot);
    return header ? pictureRecordFromTexts(header->texts, &whyNot) : std::nullopt;
}
