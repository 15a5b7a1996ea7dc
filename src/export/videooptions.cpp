#include "export/videooptions.h"

#include "core/filmpath.h"
#include "core/numbertext.h"
#include "core/squarepixels.h"
#include "export/deepoptions.h"
#include "export/filmmaker.h"
#include "picturefile/pngtextreader.h"

#include <QFile>

#include <cmath>

namespace {

constexpr int MaxFps = 240;
constexpr double MaxSeconds = 24 * 3600;

QString line(const QCommandLineOption &option, const QString &what)
{
    return u"--%1: %2"_qs.arg(option.names().constFirst(), what);
}

std::optional<long long> wholeOf(const QString &text)
{
    const std::optional<double> value = NumberText::toNumber(text, QLatin1Char(','));
    if (!value || *value != std::floor(*value) || std::fabs(*value) > 1e15)
        return std::nullopt;
    return static_cast<long long>(*value);
}

} // namespace

VideoOptions::VideoOptions()
    : m_video(u"video"_qs,
              u"Zeichnet ohne Fenster einen Zoomfilm: DATEI.mp4 (H.264) oder in einen vorhandenen Ordner ein "
              u"PNG-Bild je Bild des Films, und endet."_qs,
              u"DATEI"_qs),
      m_seconds(u"seconds"_qs, u"Länge des Films in Sekunden (Vorgabe: 20)."_qs, u"S"_qs),
      m_fps(u"fps"_qs, u"Bilder je Sekunde, 1 bis 240 (Vorgabe: 30)."_qs, u"N"_qs),
      m_frames(u"frames"_qs, u"Nur diese Bilder des Films, von 0 an gezählt, beide eingeschlossen."_qs,
               u"ERSTES:LETZTES"_qs),
      m_start(u"start"_qs, u"Startansicht aus einem gespeicherten Bild (Vorgabe: -2 … 2 × -2 … 2)."_qs, u"BILD"_qs)
{
}

QList<QCommandLineOption> VideoOptions::options() const
{
    return {m_video, m_seconds, m_fps, m_frames, m_start};
}

bool VideoOptions::unusedWithoutVideo(const QCommandLineParser &parser, QString *error) const
{
    for (const QCommandLineOption *option : {&m_seconds, &m_fps, &m_frames, &m_start}) {
        if (parser.isSet(*option)) {
            *error = line(*option, u"nur zusammen mit --video."_qs);
            return false;
        }
    }
    return true;
}

bool VideoOptions::read(const QCommandLineParser &parser, const PictureRecord &end, FilmRequest &film,
                        QString *error) const
{
    film.target = parser.value(m_video);
    film.end = end;
    if (film.target.isEmpty()) {
        *error = line(m_video, u"kein Dateiname."_qs);
        return false;
    }
    if (!film.toFolder() && !film.target.endsWith(u".mp4"_qs, Qt::CaseInsensitive)) {
        *error = line(m_video, u"„%1“ ist weder eine .mp4-Datei noch ein vorhandener Ordner."_qs.arg(film.target));
        return false;
    }
    if (!film.toFolder() && (end.size % 2 != 0 || end.height % 2 != 0)) {
        *error = u"--size: „%1x%2“: Breite und Höhe eines MP4-Films müssen gerade sein."_qs.arg(end.size).arg(
            end.height);
        return false;
    }
    return readTiming(parser, film, error) && readStart(parser, film, error) && checkPath(film, error);
}

bool VideoOptions::readTiming(const QCommandLineParser &parser, FilmRequest &film, QString *error) const
{
    double seconds = 20;
    if (parser.isSet(m_seconds)) {
        const std::optional<double> value = NumberText::toNumber(parser.value(m_seconds), QLatin1Char(','));
        if (!value || !(*value > 0) || *value > MaxSeconds) {
            *error = line(m_seconds, u"„%1“ ist keine Zahl über 0 bis 86400."_qs.arg(parser.value(m_seconds)));
            return false;
        }
        seconds = *value;
    }
    if (parser.isSet(m_fps)) {
        const std::optional<long long> fps = wholeOf(parser.value(m_fps));
        if (!fps || *fps < 1 || *fps > MaxFps) {
            *error = line(m_fps, u"„%1“ liegt nicht zwischen 1 und %2."_qs.arg(parser.value(m_fps)).arg(MaxFps));
            return false;
        }
        film.fps = int(*fps);
    }
    film.frames = int(std::lround(seconds * film.fps));
    if (film.frames < 2) {
        *error = line(m_seconds, u"Der Film hätte weniger als zwei Bilder."_qs);
        return false;
    }
    film.firstFrame = 0;
    film.lastFrame = film.frames - 1;
    if (!parser.isSet(m_frames))
        return true;
    const QString text = parser.value(m_frames);
    const QStringList parts = text.split(u':');
    const std::optional<long long> first = parts.size() == 2 ? wholeOf(parts[0]) : std::nullopt;
    const std::optional<long long> last = parts.size() == 2 ? wholeOf(parts[1]) : std::nullopt;
    if (!first || !last) {
        *error = line(m_frames, u"„%1“ hat nicht die Form ERSTES:LETZTES."_qs.arg(text));
        return false;
    }
    if (*first < 0 || *first > *last || *last >= film.frames) {
        *error = line(m_frames, u"„%1“ liegt nicht innerhalb von 0:%2."_qs.arg(text).arg(film.frames - 1));
        return false;
    }
    film.firstFrame = int(*first);
    film.lastFrame = int(*last);
    return true;
}

// A saved picture of a view by centre and width makes the film deep.
bool VideoOptions::readStart(const QCommandLineParser &parser, FilmRequest &film, QString *error) const
{
    Section start{-2, 2, -2, 2};
    if (parser.isSet(m_start)) {
        const QString path = parser.value(m_start);
        QFile file(path);
        QString whyNot;
        std::optional<PictureRecord> saved;
        std::optional<DeepRequest> savedDeep;
        if (!file.open(QIODevice::ReadOnly))
            whyNot = file.errorString() + u'.';
        else if (const auto png = readPngTexts(file, &whyNot)) {
            if (isDeepView(png->texts))
                savedDeep = DeepOptions::fromTexts(png->texts, &whyNot);
            else
                saved = pictureRecordFromTexts(png->texts, &whyNot);
        }
        if (!saved && !savedDeep) {
            *error = line(m_start, u"„%1“: %2"_qs.arg(path, whyNot));
            return false;
        }
        if (savedDeep) {
            if (!film.deep)
                film.deep = FilmRequest::Deep{std::nullopt, std::nullopt, film.end.drawing.imax};
            film.deep->start =
                ViewTexts{savedDeep->re.toStdString(), savedDeep->im.toStdString(), savedDeep->width.toStdString()};
        } else {
            start = saved->drawing.section;
        }
    }
    film.start = squarePixels(start, film.end.size, film.end.height);
    return true;
}

bool VideoOptions::checkPath(const FilmRequest &film, QString *error) const
{
    if (film.deep && film.deep->imax < 1) {
        *error = u"--imax: „%1“ ist keine Zahl zwischen 1 und %2."_qs.arg(film.deep->imax).arg(DeepImaxMax);
        return false;
    }
    FilmPath::Refusal why{};
    if (film.deep ? FilmMaker::deepPathOf(film, &why).has_value()
                  : FilmPath::between(film.start, film.end.drawing.section, film.frames, &why).has_value())
        return true;
    switch (why) {
    case FilmPath::Refusal::Mirrored:
        *error = line(m_video, u"Start- und Endansicht sind gegeneinander gespiegelt; ein Zoom führt nicht von "
                               u"der einen zur anderen."_qs);
        break;
    case FilmPath::Refusal::Empty:
        *error = line(m_video, u"Start- oder Endansicht hat keine Breite oder Höhe."_qs);
        break;
    case FilmPath::Refusal::NoZoom:
        *error = line(m_video, u"Start- und Endansicht sind gleich groß, aber nicht gleich; ein Zoom führt "
                               u"nicht von der einen zur anderen."_qs);
        break;
    }
    return false;
}
