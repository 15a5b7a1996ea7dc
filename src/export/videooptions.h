#pragma once

#include "export/filmrequest.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

// The options only a film has: --video, --seconds, --fps, --frames and
// --start. The end view, Imax, size and colours come from the options a
// still has too (see ExportOptions).
class VideoOptions
{
public:
    static constexpr int DefaultWidth = 1280;
    static constexpr int DefaultHeight = 720;

    VideoOptions();

    QList<QCommandLineOption> options() const;
    bool requested(const QCommandLineParser &parser) const { return parser.isSet(m_video); }
    QString target(const QCommandLineParser &parser) const { return parser.value(m_video); }

    // False with a German line when a film's option comes without --video.
    bool unusedWithoutVideo(const QCommandLineParser &parser, QString *error) const;

    // Fills `film` from the parser and the end view's record `end` (already
    // widened to its size). False with the option's German line in *error.
    bool read(const QCommandLineParser &parser, const PictureRecord &end, FilmRequest &film, QString *error) const;

private:
    bool readTiming(const QCommandLineParser &parser, FilmRequest &film, QString *error) const;
    bool readStart(const QCommandLineParser &parser, FilmRequest &film, QString *error) const;
    bool checkPath(const FilmRequest &film, QString *error) const;

    QCommandLineOption m_video, m_seconds, m_fps, m_frames, m_start;
};
