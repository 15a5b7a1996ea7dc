#include "picturefile/picturerecord.h"

#include "core/programinfo.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>

namespace {

const char *const NumberKeys[4] = {"X0", "X1", "Y0", "Y1"};
const char *const FieldKeys[5] = {"Field X0", "Field X1", "Field Y0", "Field Y1", "Field Imax"};
const QByteArray SoftwareName = ProgramName;

QByteArray numberText(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, int(result.ptr - buffer));
}

QByteArray paletteText(const Palette &palette)
{
    QByteArrayList colours;
    for (ColorRef ref : palette)
        colours << "#" + QByteArray::number(opaqueArgb(ref) & 0xFFFFFF, 16).rightJustified(6, '0').toUpper();
    return colours.join(' ');
}

// The whole text must be the number; from_chars reads no blanks, no "+",
// no hexadecimal, and it rounds to nearest, so a written value reads back.
std::optional<double> readNumber(const QByteArray &text)
{
    double value = 0;
    const char *end = text.constData() + text.size();
    const auto result = std::from_chars(text.constData(), end, value);
    if (text.isEmpty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> readWhole(const QByteArray &text, long lowest, long highest)
{
    long value = 0;
    const char *end = text.constData() + text.size();
    const auto result = std::from_chars(text.constData(), end, value);
    if (text.isEmpty() || result.ec != std::errc() || result.ptr != end || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> readHex(const QByteArray &digits)
{
    std::uint32_t value = 0;
    const char *end = digits.constData() + digits.size();
    const auto result = std::from_chars(digits.constData(), end, value, 16);
    if (digits.isEmpty() || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

std::optional<Palette> readPalette(const QByteArray &text)
{
    const QByteArrayList colours = text.split(' ');
    if (colours.size() != 8)
        return std::nullopt;
    Palette palette{};
    for (int k = 0; k < 8; ++k) {
        const QByteArray &colour = colours[k];
        if (colour.size() != 7 || colour[0] != '#')
            return std::nullopt;
        const auto rgb = readHex(colour.mid(1));
        if (!rgb)
            return std::nullopt;
        palette[size_t(k)] = colorRef(int(*rgb >> 16), int(*rgb >> 8), int(*rgb));
    }
    return palette;
}

std::optional<QString> readUtf8(const QByteArray &text)
{
    const QString decoded = QString::fromUtf8(text);
    if (decoded.toUtf8() != text)
        return std::nullopt;
    return decoded;
}

// The values of the keys a record reads, each found once, or why not.
class RecordTexts
{
public:
    explicit RecordTexts(const PictureTexts &texts) : m_texts(texts) {}

    // False with the reason when a known key comes twice or a needed one lacks.
    bool collect(QString *whyNot);
    bool has(const QByteArray &key) const { return m_values.contains(key); }
    const QByteArray &value(const QByteArray &key) const { return m_values.at(key); }

private:
    const PictureTexts &m_texts;
    std::map<QByteArray, QByteArray> m_values;
};

bool RecordTexts::collect(QString *whyNot)
{
    QByteArrayList needed{"Software", "Imax", "Palette", "Complete"};
    for (const char *key : NumberKeys)
        needed << key;
    for (const char *key : FieldKeys)
        needed << key;
    const QByteArrayList known = needed + QByteArrayList{"Size", "Rows", "Cycle", "Pixels", "Iterations"};
    for (const auto &[key, value] : m_texts) {
        if (!known.contains(key))
            continue;
        if (!m_values.emplace(key, value).second) {
            *whyNot = QStringLiteral("Der Schlüssel „%1“ kommt mehrfach vor.").arg(QString::fromUtf8(key));
            return false;
        }
    }
    for (const QByteArray &key : needed) {
        if (!has(key)) {
            *whyNot = QStringLiteral("Der Schlüssel „%1“ fehlt.").arg(QString::fromUtf8(key));
            return false;
        }
    }
    return true;
}

bool fromThisProgram(const RecordTexts &texts, QString *whyNot)
{
    if (texts.value("Software").startsWith(SoftwareName))
        return true;
    *whyNot = QStringLiteral("Das Bild stammt nicht von Quirlbau.");
    return false;
}

QString wrongValue(const char *key, const char *what)
{
    return QStringLiteral("Der Wert von %1 %2.").arg(QString::fromUtf8(key), QString::fromUtf8(what));
}

// Section, Imax, palette and the complete flag; false with the reason.
bool readRunValues(const RecordTexts &texts, PictureRecord &record, QString *whyNot)
{
    Section &section = record.drawing.section;
    double *numbers[4] = {&section.x0, &section.x1, &section.y0, &section.y1};
    for (int k = 0; k < 4; ++k) {
        const auto number = readNumber(texts.value(NumberKeys[k]));
        if (!number) {
            *whyNot = wrongValue(NumberKeys[k], "ist keine Zahl");
            return false;
        }
        *numbers[k] = *number;
    }
    const auto imax = readWhole(texts.value("Imax"), -32768, 32767);
    const auto palette = readPalette(texts.value("Palette"));
    const QByteArray complete = texts.value("Complete");
    if (!imax)
        *whyNot = wrongValue("Imax", "ist keine ganze Zahl zwischen -32768 und 32767");
    else if (!palette)
        *whyNot = wrongValue("Palette", "besteht nicht aus acht Farben „#RRGGBB“");
    else if (complete != "yes" && complete != "no")
        *whyNot = wrongValue("Complete", "ist weder „yes“ noch „no“");
    else {
        record.drawing.imax = std::int16_t(*imax);
        record.drawing.palette = *palette;
        record.complete = complete == "yes";
        return true;
    }
    return false;
}

bool readFieldTexts(const RecordTexts &texts, PictureRecord &record, QString *whyNot)
{
    for (int k = 0; k < 5; ++k) {
        const auto text = readUtf8(texts.value(FieldKeys[k]));
        if (!text) {
            *whyNot = wrongValue(FieldKeys[k], "ist kein gültiges UTF-8");
            return false;
        }
        record.drawing.fieldTexts[size_t(k)] = *text;
    }
    return true;
}

// "N" or "WxH", each side 1..65536.
std::optional<std::pair<long, long>> readSize(const QByteArray &text)
{
    const QByteArrayList sides = text.split('x');
    const auto width = sides.size() <= 2 ? readWhole(sides[0], 1, PictureMaxSize) : std::nullopt;
    const auto height = sides.size() == 2 ? readWhole(sides[1], 1, PictureMaxSize) : width;
    if (!width || !height)
        return std::nullopt;
    return std::pair{*width, *height};
}

// Size, Rows and Cycle, all optional; Rows only within a Size.
bool readExtent(const RecordTexts &texts, PictureRecord &record, QString *whyNot)
{
    if (texts.has("Cycle")) {
        if (texts.value("Cycle") != "yes") {
            *whyNot = wrongValue("Cycle", "ist nicht „yes“");
            return false;
        }
        record.cycle = true;
    }
    if (texts.has("Size")) {
        const auto size = readSize(texts.value("Size"));
        if (!size) {
            *whyNot = wrongValue("Size", "liegt nicht zwischen 1 und 65536");
            return false;
        }
        record.size = int(size->first);
        record.height = int(size->second);
    }
    if (!texts.has("Rows"))
        return true;
    const QByteArrayList rows = texts.value("Rows").split(':');
    const auto first = rows.size() == 2 ? readWhole(rows[0], 0, record.height - 1) : std::nullopt;
    const auto last = first ? readWhole(rows[1], *first, record.height - 1) : std::nullopt;
    if (!last) {
        *whyNot = record.size == 0 ? QStringLiteral("Rows steht ohne Size.")
                                   : wrongValue("Rows", "nennt keine Zeilen „ERSTE:LETZTE“ innerhalb von Size");
        return false;
    }
    record.firstRow = int(*first);
    record.lastRow = int(*last);
    return true;
}

// Pixels and Iterations, both or neither.
bool readCounts(const RecordTexts &texts, PictureRecord &record, QString *whyNot)
{
    if (!texts.has("Pixels") && !texts.has("Iterations"))
        return true;
    if (!texts.has("Pixels") || !texts.has("Iterations")) {
        *whyNot = QStringLiteral("Pixels und Iterations stehen nur zusammen.");
        return false;
    }
    const auto pixels = readWhole(texts.value("Pixels"), 0, std::numeric_limits<std::int32_t>::max());
    const auto iterations = readWhole(texts.value("Iterations"), std::numeric_limits<long>::min(),
                                      std::numeric_limits<long>::max());
    if (!pixels)
        *whyNot = wrongValue("Pixels", "ist keine ganze Zahl zwischen 0 und 2147483647");
    else if (!iterations)
        *whyNot = wrongValue("Iterations", "ist keine ganze Zahl");
    else
        record.counts = PictureCounts{*pixels, *iterations};
    return pixels && iterations;
}

} // namespace

PictureTexts pictureTexts(const PictureRecord &record)
{
    const Drawing &drawing = record.drawing;
    PictureTexts texts{
        {"Software", SoftwareName + " " + ProgramVersion},
        {"X0", numberText(drawing.section.x0)},
        {"X1", numberText(drawing.section.x1)},
        {"Y0", numberText(drawing.section.y0)},
        {"Y1", numberText(drawing.section.y1)},
        {"Imax", QByteArray::number(drawing.imax)},
        {"Palette", paletteText(drawing.palette)},
        {"Complete", record.complete ? "yes" : "no"},
    };
    for (int k = 0; k < 5; ++k)
        texts.emplace_back(FieldKeys[k], drawing.fieldTexts[size_t(k)].toUtf8());
    if (record.counts) {
        texts.emplace_back("Pixels", QByteArray::number(qint64(record.counts->pixels)));
        texts.emplace_back("Iterations", QByteArray::number(qint64(record.counts->iterations)));
    }
    // A square export's Size stays "N", as before there were other shapes.
    if (record.size > 0 && (record.height == 0 || record.height == record.size))
        texts.emplace_back("Size", QByteArray::number(record.size));
    else if (record.size > 0)
        texts.emplace_back("Size", QByteArray::number(record.size) + "x" + QByteArray::number(record.height));
    if (record.size > 0 && record.lastRow >= 0)
        texts.emplace_back("Rows", QByteArray::number(record.firstRow) + ":" + QByteArray::number(record.lastRow));
    if (record.cycle)
        texts.emplace_back("Cycle", "yes");
    return texts;
}

bool isDeepView(const PictureTexts &texts)
{
    return std::any_of(texts.begin(), texts.end(), [](const auto &text) { return text.first == "Re"; });
}

std::optional<PictureRecord> pictureRecordFromTexts(const PictureTexts &texts, QString *whyNot)
{
    QString reason;
    RecordTexts found(texts);
    PictureRecord record;
    if (isDeepView(texts))
        reason = QStringLiteral("Das Bild ist eine Tiefenansicht (Re, Im, Width); sie braucht mehr Stellen als "
                                "das Fenster hält und wird nur mit quirlbau --render --from gezeichnet.");
    else if (found.collect(&reason) && fromThisProgram(found, &reason) && readRunValues(found, record, &reason)
        && readFieldTexts(found, record, &reason) && readExtent(found, record, &reason)
        && readCounts(found, record, &reason))
        return record;
    if (whyNot)
        *whyNot = reason;
    return std::nullopt;
}
