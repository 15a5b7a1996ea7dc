#include "export/exportoptions.h"

#include "core/standardcolors.h"
#include "core/grid.h"
#include "core/numbertext.h"
#include "core/squarepixels.h"
#include "export/messagetexts.h"
#include "export/readablefile.h"
#include "picturefile/pngtextreader.h"

#include <QFile>

#include <cmath>

namespace {

QCommandLineOption valueOption(const QString &name, const QString &description, const QString &valueName)
{
    return QCommandLineOption(name, description, valueName);
}

std::optional<double> numberOf(const QString &text)
{
    return NumberText::toNumber(text, QLatin1Char(','));
}

// Rule 1, then it must be whole.
std::optional<long long> wholeOf(const QString &text)
{
    const std::optional<double> value = numberOf(text);
    if (!value || *value != std::floor(*value) || std::fabs(*value) > 1e15)
        return std::nullopt;
    return static_cast<long long>(*value);
}

} // namespace

std::optional<std::pair<int, int>> sizeOf(const QString &text)
{
    const QStringList sides = text.split(u'x', Qt::KeepEmptyParts, Qt::CaseInsensitive);
    const std::optional<long long> width = sides.size() <= 2 ? wholeOf(sides[0]) : std::nullopt;
    const std::optional<long long> height = sides.size() == 2 ? wholeOf(sides[1]) : width;
    if (!width || !height || *width < 1 || *width > PictureMaxSize || *height < 1 || *height > PictureMaxSize)
        return std::nullopt;
    return std::pair{int(*width), int(*height)};
}

ExportOptions::ExportOptions()
    : m_help(m_parser.addHelpOption()),
      m_version(m_parser.addVersionOption()),
      m_render(u"render"_qs, u"Zeichnet ohne Fenster in die PNG-Datei DATEI und endet."_qs, u"DATEI"_qs),
      m_x0(valueOption(u"x0"_qs, u"Linker Rand (Vorgabe: -1,4025)."_qs, u"ZAHL"_qs)),
      m_x1(valueOption(u"x1"_qs, u"Rechter Rand (Vorgabe: -1,4020)."_qs, u"ZAHL"_qs)),
      m_y0(valueOption(u"y0"_qs, u"Oberer Rand (Vorgabe: 0,0000)."_qs, u"ZAHL"_qs)),
      m_y1(valueOption(u"y1"_qs, u"Unterer Rand (Vorgabe: 0,0005)."_qs, u"ZAHL"_qs)),
      m_imax(valueOption(u"imax"_qs, u"Höchste Iterationszahl, -32768 bis 32767 (Vorgabe: 300)."_qs, u"ZAHL"_qs)),
      m_size(valueOption(u"size"_qs,
                         u"B × H Pixel, jede Seite 1 bis 65536; N heißt N × N (ohne: das Bild des Fensters, "
                         u"400 × 400). Der Ausschnitt wird an der kürzeren Seite um seine Mitte verbreitert, "
                         u"damit die Pixel quadratisch sind."_qs,
                         u"BxH"_qs)),
      m_stretch(u"stretch"_qs, u"Den Ausschnitt nicht verbreitern, sondern auf B × H strecken."_qs),
      m_cycle(u"cycle"_qs, u"Zählwerte über 400 durchlaufen die Farben weiter in Hunderterschritten, statt alle "
                           u"F6 zu werden."_qs),
      m_rows(valueOption(u"rows"_qs, u"Nur diese Zeilen des N × N-Bildes, von 0 an gezählt, beide eingeschlossen."_qs,
                         u"ERSTE:LETZTE"_qs)),
      m_from(valueOption(u"from"_qs, u"Ausschnitt, Imax und Palette aus einem gespeicherten Bild."_qs, u"BILD"_qs)),
      m_quiet(u"quiet"_qs, u"Keine Fortschrittsanzeige."_qs)
{
    m_parser.setApplicationDescription(
        u"Zeichnet die Mandelbrot-Menge ohne Fenster in eine PNG-Datei (--render) oder als Zoomfilm (--video)."_qs);
    m_parser.addOptions(
        {m_render, m_x0, m_x1, m_y0, m_y1, m_imax, m_size, m_stretch, m_rows, m_from, m_cycle, m_quiet});
    m_parser.addOptions(m_film.options());
    m_parser.addOptions(m_deep.options());
}

ExportOptions::Outcome ExportOptions::parse(const QStringList &arguments)
{
    if (strayShortOption(arguments))
        return Outcome::BadArguments;
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return Outcome::BadArguments;
    }
    if (m_parser.isSet(m_help) || m_parser.isSet(u"help-all"_qs))
        return Outcome::Help;
    if (m_parser.isSet(m_version))
        return Outcome::Version;
    if (!readRequest())
        return Outcome::BadArguments;
    return m_request.film ? Outcome::Film : Outcome::Render;
}

QString ExportOptions::errorLine() const
{
    return shownText(m_error);
}

// Qt would read "-1,5" as the short options 1, "," and 5; it is named whole.
bool ExportOptions::strayShortOption(const QStringList &arguments)
{
    const QStringList shortOptions = {u"-h"_qs, u"-?"_qs, u"-v"_qs};
    for (qsizetype k = 1; k < arguments.size(); ++k) {
        const QString &argument = arguments[k];
        if (argument == u"--"_qs)
            return false;
        if (argument.size() > 1 && argument.startsWith(u'-') && !argument.startsWith(u"--"_qs)
            && !shortOptions.contains(argument)) {
            m_error = u"„%1“: unbekannte Option."_qs.arg(argument);
            return true;
        }
    }
    return false;
}

bool ExportOptions::readRequest()
{
    const QStringList positional = m_parser.positionalArguments();
    if (!m_parser.isSet(m_render) && positional.size() > 1) {
        m_error = u"Das Fenster öffnet ein Bild, nicht %1."_qs.arg(positional.size());
        return false;
    }
    m_filmRequested = m_film.requested(m_parser);
    if (m_filmRequested && m_parser.isSet(m_render))
        return refuse(m_render, u"nicht zusammen mit --video."_qs);
    if (m_filmRequested && m_parser.isSet(m_rows))
        return refuse(m_rows, u"nicht für Filme; Teile eines Films wählt --frames."_qs);
    if (!m_filmRequested && !m_film.unusedWithoutVideo(m_parser, &m_error))
        return false;
    if (!m_filmRequested && !m_parser.isSet(m_render))
        return refuse(m_render, u"fehlt; ohne sie nimmt quirlbau keine Optionen an."_qs);
    if (!positional.isEmpty()) {
        m_error = u"„%1“: unerwartetes Argument."_qs.arg(positional.constFirst());
        return false;
    }
    m_request.target = m_filmRequested ? QFile::encodeName(m_film.target(m_parser)) : fileName(m_render);
    if (!m_filmRequested && m_request.target.isEmpty())
        return refuse(m_render, u"kein Dateiname."_qs);
    m_request.quiet = m_parser.isSet(m_quiet);
    for (int k = 0; k < 5; ++k)
        m_request.record.drawing.fieldTexts[size_t(k)] = QString::fromUtf8(StartFieldTexts[k]);
    m_request.record.drawing.palette = StandardColors;
    if (!applySaved())
        return false;
    if (m_savedDeep || m_deep.requested(m_parser))
        return readDeep();
    bool deepSection = false;
    if (!readDeepSection(&deepSection))
        return false;
    if (deepSection)
        return true;
    return readSection() && readExtent() && readShape() && mappingFinite() && readFilm();
}

// The window stops a run whose grid leaves the double range; an export
// refuses such a section before it starts.
bool ExportOptions::mappingFinite()
{
    const PictureRecord &record = m_request.record;
    const Section &section = record.drawing.section;
    const int lastGridIndex = GridFirst + (GridPoints - 1) * GridStep;
    const double farthestX = record.size == 0 ? double(lastGridIndex) : 2.0 * record.size - 1.0;
    const double farthestY = record.size == 0 ? double(lastGridIndex) : 2.0 * record.height - 1.0;
    if (!std::isfinite(farthestX * (section.x1 - section.x0)))
        return refuse(blamed(m_x0, m_x1), u"Die Breite des Ausschnitts liegt außerhalb des Zahlenbereichs."_qs);
    if (!std::isfinite(farthestY * (section.y1 - section.y0)))
        return refuse(blamed(m_y0, m_y1), u"Die Höhe des Ausschnitts liegt außerhalb des Zahlenbereichs."_qs);
    return true;
}

// The option a pair of values came from: the second, the first, or the
// picture of --from.
const QCommandLineOption &ExportOptions::blamed(const QCommandLineOption &first,
                                                const QCommandLineOption &second) const
{
    if (m_parser.isSet(second) || !m_saved)
        return second;
    return m_parser.isSet(first) ? first : m_from;
}

// The option's last value as it stood on the command line, bytes unchanged.
QByteArray ExportOptions::fileName(const QCommandLineOption &option) const
{
    if (m_raw.isEmpty())
        return QFile::encodeName(m_parser.value(option));
    const QByteArray name = "--" + option.names().constFirst().toLatin1();
    QByteArray value;
    for (qsizetype k = 1; k < m_raw.size(); ++k) {
        if (m_raw[k] == "--")
            break;
        if (m_raw[k].startsWith(name + '='))
            value = m_raw[k].mid(name.size() + 1);
        else if (m_raw[k] == name && k + 1 < m_raw.size())
            value = m_raw[++k];
    }
    return value;
}

// --from first, so that explicit options override what it gives.
bool ExportOptions::applySaved()
{
    if (!m_parser.isSet(m_from))
        return true;
    const QByteArray path = fileName(m_from);
    if (path.isEmpty())
        return refuse(m_from, u"kein Dateiname."_qs);
    QFile file;
    QString whyNot;
    std::optional<PictureRecord> saved;
    if (openReadable(file, path, &whyNot)) {
        if (const auto png = readPngTexts(file, &whyNot)) {
            if (isDeepView(png->texts)) {
                m_savedDeep = DeepOptions::fromTexts(png->texts, &whyNot);
                if (m_savedDeep)
                    return true;
            } else {
                saved = pictureRecordFromTexts(png->texts, &whyNot);
            }
        }
    }
    if (!saved)
        return refuse(m_from, u"„%1“: %2"_qs.arg(shownName(path), whyNot));
    m_saved = saved;
    return true;
}

// Each value from its option, else from --from's picture (the values its run
// read, bit for bit), else from the window's start fields.
bool ExportOptions::readSection()
{
    PictureRecord &record = m_request.record;
    if (m_saved) {
        record = *m_saved;
        record.size = 0;
        record.height = 0;
        record.firstRow = 0;
        record.lastRow = -1;
    }
    const QCommandLineOption *options[4] = {&m_x0, &m_x1, &m_y0, &m_y1};
    Section &section = record.drawing.section;
    double *corners[4] = {&section.x0, &section.x1, &section.y0, &section.y1};
    for (int k = 0; k < 4; ++k) {
        QString &text = record.drawing.fieldTexts[size_t(k)];
        if (m_saved && !m_parser.isSet(*options[k]))
            continue;
        if (m_parser.isSet(*options[k]))
            text = m_parser.value(*options[k]);
        const std::optional<double> value = numberOf(text);
        if (!value)
            return refuse(*options[k], u"„%1“ ist keine Zahl."_qs.arg(text));
        *corners[k] = *value;
    }
    return readImax();
}

bool ExportOptions::readImax()
{
    Drawing &drawing = m_request.record.drawing;
    if (m_saved && !m_parser.isSet(m_imax))
        return true;
    if (m_parser.isSet(m_imax))
        drawing.fieldTexts[4] = m_parser.value(m_imax);
    const std::optional<std::int16_t> imax = NumberText::toImax(drawing.fieldTexts[4], QLatin1Char(','));
    if (!imax)
        return refuse(m_imax, u"„%1“ ist keine Zahl zwischen -32768 und 32767."_qs.arg(drawing.fieldTexts[4]));
    drawing.imax = *imax;
    return true;
}

bool ExportOptions::readExtent()
{
    PictureRecord &record = m_request.record;
    if (m_parser.isSet(m_size)) {
        const QString text = m_parser.value(m_size);
        const std::optional<std::pair<int, int>> size = sizeOf(text);
        if (!size)
            return refuse(m_size, u"„%1“ liegt nicht zwischen 1 und %2."_qs.arg(text).arg(PictureMaxSize));
        record.size = size->first;
        record.height = size->second;
    } else if (m_filmRequested) {
        record.size = VideoOptions::DefaultWidth;
        record.height = VideoOptions::DefaultHeight;
    }
    if (!m_parser.isSet(m_rows))
        return true;
    if (record.size == 0)
        return refuse(m_rows, u"nur zusammen mit --size."_qs);
    const QString text = m_parser.value(m_rows);
    const QStringList parts = text.split(u':');
    const std::optional<long long> first = parts.size() == 2 ? wholeOf(parts[0]) : std::nullopt;
    const std::optional<long long> last = parts.size() == 2 ? wholeOf(parts[1]) : std::nullopt;
    if (!first || !last)
        return refuse(m_rows, u"„%1“ hat nicht die Form ERSTE:LETZTE."_qs.arg(text));
    if (*first < 0 || *first > *last || *last >= record.height)
        return refuse(m_rows, u"„%1“ liegt nicht innerhalb von 0:%2."_qs.arg(text).arg(record.height - 1));
    record.firstRow = int(*first);
    record.lastRow = int(*last);
    return true;
}

// Square pixels unless --stretch; the widened edges replace their field
// texts, so that the file records what was drawn. --cycle.
bool ExportOptions::readShape()
{
    PictureRecord &record = m_request.record;
    if (m_parser.isSet(m_cycle))
        record.cycle = true;
    if (m_parser.isSet(m_stretch) && record.size == 0)
        return refuse(m_stretch, u"nur zusammen mit --size."_qs);
    if (record.size == 0 || m_parser.isSet(m_stretch))
        return true;
    Section &section = record.drawing.section;
    const Section widened = squarePixels(section, record.size, record.height);
    const double given[4] = {section.x0, section.x1, section.y0, section.y1};
    const double edges[4] = {widened.x0, widened.x1, widened.y0, widened.y1};
    for (int k = 0; k < 4; ++k) {
        if (edges[k] != given[k])
            record.drawing.fieldTexts[size_t(k)] = NumberText::fromNumber(edges[k], QLatin1Char(','));
    }
    section = widened;
    return true;
}

bool ExportOptions::readFilm()
{
    if (!m_filmRequested)
        return true;
    FilmRequest film;
    film.quiet = m_request.quiet;
    m_request.record.complete = true;
    if (!m_film.read(m_parser, m_request.record, film, &m_error))
        return false;
    m_request.film = film;
    return true;
}

bool ExportOptions::refuse(const QCommandLineOption &option, const QString &what)
{
    m_error = u"--%1: %2"_qs.arg(option.names().constFirst(), what);
    return false;
}
