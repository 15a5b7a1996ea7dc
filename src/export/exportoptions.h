#pragma once

#include "export/deepoptions.h"
#include "export/filmrequest.h"
#include "export/videooptions.h"
#include "picturefile/picturerecord.h"

#include <QCommandLineOption>
#include <QByteArrayList>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>

// What `quirlbau --render` is asked to do.
struct ExportRequest
{
    QByteArray target; // bytes, as given
    // Field texts, section, Imax, palette; size 0 for the window's picture,
    // lastRow -1 for all rows. `complete` is left for the export to set.
    PictureRecord record;
    bool quiet = false;
    // Set for `quirlbau --video`: the film; `record` is then its end view.
    std::optional<FilmRequest> film;
    // Set for a view given by --re, --im, --width (or --from such a picture).
    std::optional<DeepRequest> deep;
};

// "N" or "WxH" (x or X), each side 1..65536: {N, N} or {W, H}.
std::optional<std::pair<int, int>> sizeOf(const QString &text);

// The command line of the export, read with QCommandLineParser. Errors are
// one German line naming the option: "--size: „0“ liegt nicht zwischen 1 und 65536."
class ExportOptions
{
public:
    enum class Outcome { Render, Film, Help, Version, BadArguments };

    ExportOptions();

    // The command line as bytes, argv[0] first: file names are taken from
    // here unchanged, whatever their encoding. Without it they are encoded
    // from the parsed text.
    void setRawArguments(const QByteArrayList &raw) { m_raw = raw; }
    // `arguments` includes the program name first, as QCoreApplication gives it.
    Outcome parse(const QStringList &arguments);

    const ExportRequest &request() const { return m_request; }
    // One line whatever the values held: control characters are escaped.
    QString errorLine() const;
    QString helpText() const { return m_parser.helpText(); }

private:
    bool readRequest();
    bool readSection();
    bool readImax();
    bool readExtent();
    bool readShape();
    bool readFilm();
    bool readDeep();
    bool readDeepSection(bool *taken);
    void deepCorners(std::string (&corners)[4]) const;
    bool takeDeep(const DeepRequest &deep);
    bool applySaved();
    bool mappingFinite();
    bool strayShortOption(const QStringList &arguments);
    QByteArray fileName(const QCommandLineOption &option) const;
    const QCommandLineOption &blamed(const QCommandLineOption &first, const QCommandLineOption &second) const;
    bool refuse(const QCommandLineOption &option, const QString &what);

    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_render;
    QCommandLineOption m_x0, m_x1, m_y0, m_y1, m_imax;
    QCommandLineOption m_size;
    QCommandLineOption m_stretch;
    QCommandLineOption m_cycle;
    QCommandLineOption m_rows;
    QCommandLineOption m_from;
    QCommandLineOption m_quiet;
    VideoOptions m_film;
    DeepOptions m_deep;
    std::optional<DeepRequest> m_savedDeep; // from --from a deep picture
    bool m_filmRequested = false;
    QByteArrayList m_raw;
    std::optional<PictureRecord> m_saved; // from --from
    ExportRequest m_request;
    QString m_error;
};
