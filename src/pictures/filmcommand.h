#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <thread>

class FilmMaker;
class Platform;
class QProgressDialog;
class QWidget;
class SurfaceRecord;

// "Zoomfilm speichern …": a film of 1280 × 720 pixels, 20 seconds at 30
// frames a second, from the whole set into the picture on the surface (its
// section, Imax and palette), made in the background by the command line's
// FilmMaker while a progress dialog offers to cancel. The window stays
// usable and its picture untouched; one film at a time.
class FilmCommand : public QObject
{
    Q_OBJECT

public:
    FilmCommand(const SurfaceRecord &surfaceRecord, Platform &platform, QWidget *window, QObject *parent = nullptr);
    ~FilmCommand() override;

    void make();
    bool isMaking() const { return m_maker != nullptr; }

signals:
    // The film is complete (made) or not, with the reason shown already.
    void finished(bool made);

private:
    void start(const QString &path, const class FilmRequest &request);
    void done(bool made);
    QString proposedPath() const;

    const SurfaceRecord &m_surfaceRecord;
    Platform &m_platform;
    QWidget *m_window;
    std::unique_ptr<FilmMaker> m_maker;
    std::thread m_thread;
    QPointer<QProgressDialog> m_progress;
    QString m_lastFolder;
};
