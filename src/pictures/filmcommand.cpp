#include "pictures/filmcommand.h"

#include "core/filmpath.h"
#include "core/programinfo.h"
#include "core/squarepixels.h"
#include "export/filmmaker.h"
#include "export/filmrequest.h"
#include "form/platform.h"
#include "pictures/surfacerecord.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QStandardPaths>

#include <system_error>

namespace {

const QString MessageTitle = QString::fromUtf8(ProgramName);
constexpr int FilmWidth = 1280;
constexpr int FilmHeight = 720;
constexpr int FilmFps = 30;
constexpr int FilmSeconds = 20;

} // namespace

FilmCommand::FilmCommand(const SurfaceRecord &surfaceRecord, Platform &platform, QWidget *window, QObject *parent)
    : QObject(parent),
      m_surfaceRecord(surfaceRecord),
      m_platform(platform),
      m_window(window)
{
}

FilmCommand::~FilmCommand()
{
    if (m_maker)
        m_maker->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void FilmCommand::make()
{
    if (m_maker) {
        m_platform.messageBox(m_window, MessageTitle, QStringLiteral("Es wird schon ein Zoomfilm gespeichert."));
        return;
    }
    const std::optional<Drawing> &record = m_surfaceRecord.record();
    if (!record) {
        m_platform.messageBox(m_window, MessageTitle,
                              QStringLiteral("Es ist noch nichts gezeichnet: Ein Zoomfilm führt in das gezeigte "
                                             "Bild, zeichnen Sie zuerst eines."));
        return;
    }
    FilmRequest request;
    request.end.drawing = *record;
    request.end.size = FilmWidth;
    request.end.height = FilmHeight;
    request.end.complete = true;
    const Section end = squarePixels(record->section, FilmWidth, FilmHeight);
    request.end.drawing.section = end;
    request.start = squarePixels({-2, 2, -2, 2}, FilmWidth, FilmHeight);
    request.fps = FilmFps;
    request.frames = FilmFps * FilmSeconds;
    request.firstFrame = 0;
    request.lastFrame = request.frames - 1;
    if (!FilmPath::between(request.start, end, request.frames)) {
        m_platform.messageBox(m_window, MessageTitle,
                              QStringLiteral("Vom ganzen Apfelmännchen führt kein Zoom in dieses Bild: Es ist "
                                             "gespiegelt oder so groß wie der Anfang."));
        return;
    }
    const std::optional<QString> path = m_platform.saveFilmName(m_window, proposedPath());
    if (!path)
        return;
    request.target = *path;
    m_lastFolder = QFileInfo(*path).absolutePath();
    start(*path, request);
}

void FilmCommand::start(const QString &path, const FilmRequest &request)
{
    m_maker = std::make_unique<FilmMaker>(request);
    m_maker->setSignalCleanup(false);
    m_progress = new QProgressDialog(QStringLiteral("Der Zoomfilm „%1“ wird gespeichert …")
                                         .arg(QDir::toNativeSeparators(path)),
                                     QStringLiteral("Abbrechen"), 0, request.frames, m_window);
    m_progress->setObjectName(QStringLiteral("filmProgress"));
    m_progress->setWindowTitle(QStringLiteral("Zoomfilm speichern"));
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setValue(0);
    FilmMaker *maker = m_maker.get();
    connect(m_progress, &QProgressDialog::canceled, this, [maker] { maker->cancel(); });
    QPointer<QProgressDialog> progress = m_progress;
    maker->setProgress([progress](int done, int) {
        QMetaObject::invokeMethod(progress, [progress, done] {
            if (progress)
                progress->setValue(done);
        }, Qt::QueuedConnection);
    });
    try {
        m_thread = std::thread([this, maker] {
            const bool made = maker->run();
            QMetaObject::invokeMethod(this, [this, made] { done(made); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error &) {
        // No thread to be had: the film is not made, the window goes on.
        m_maker.reset();
        m_progress->deleteLater();
        m_platform.messageBox(m_window, MessageTitle,
                              QStringLiteral("Der Zoomfilm ließ sich nicht speichern.\n\n"
                                             "Es lässt sich kein weiterer Thread starten."));
    }
}

void FilmCommand::done(bool made)
{
    m_thread.join();
    const bool cancelled = m_maker->cancelled();
    const QString error = m_maker->error();
    m_maker.reset();
    if (m_progress)
        m_progress->deleteLater();
    if (!made && !cancelled)
        m_platform.messageBox(m_window, MessageTitle,
                              QStringLiteral("Der Zoomfilm ließ sich nicht speichern.\n\n%1").arg(error));
    emit finished(made);
}

QString FilmCommand::proposedPath() const
{
    QString folder = m_lastFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hhmmss"));
    return QDir(folder).filePath(QStringLiteral("Quirlbau-Zoom-%1.mp4").arg(stamp));
}
