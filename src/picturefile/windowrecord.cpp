#include "picturefile/windowrecord.h"

#include "core/numbertext.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <limits>

namespace {

const QByteArray DeepKeys[3] = {"Re", "Im", "Width"};
constexpr long RecordedImaxMax = std::numeric_limits<std::int32_t>::max();

long countOf(const PictureTexts &texts, const QByteArray &key)
{
    return long(std::count_if(texts.begin(), texts.end(), [&key](const auto &text) { return text.first == key; }));
}

// A deep view's keys each once, and its Size; false with the reason.
bool deepKeysComplete(const PictureTexts &texts, QString *whyNot)
{
    for (const QByteArray &key : DeepKeys) {
        const long count = countOf(texts, key);
        if (count == 1)
            continue;
        *whyNot = count == 0 ? QStringLiteral("Der Schlüssel „%1“ fehlt.").arg(QString::fromUtf8(key))
                             : QStringLiteral("Der Schlüssel „%1“ kommt mehrfach vor.").arg(QString::fromUtf8(key));
        return false;
    }
    if (countOf(texts, "Size") != 0)
        return true;
    *whyNot = QStringLiteral("Der Schlüssel „Size“ fehlt.");
    return false;
}

// The recorded Imax where it lies above the field's range and within the
// export's; nullopt for any other text, which the plain reader judges.
std::optional<long> imaxBeyondField(const QByteArray &text)
{
    long value = 0;
    const char *end = text.constData() + text.size();
    const auto result = std::from_chars(text.constData(), end, value);
    if (text.isEmpty() || result.ec != std::errc() || result.ptr != end || value <= ImaxFieldMax
        || value > RecordedImaxMax)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<WindowRecord> windowRecordFromTexts(const PictureTexts &texts, QString *whyNot)
{
    QString reason;
    WindowRecord found;
    found.deepView = isDeepView(texts);
    if (found.deepView && !deepKeysComplete(texts, &reason)) {
        if (whyNot)
            *whyNot = reason;
        return std::nullopt;
    }
    // What is left, with an Imax the field holds, is a picture like any other.
    PictureTexts plain;
    for (const auto &[key, value] : texts) {
        if (std::find(std::begin(DeepKeys), std::end(DeepKeys), key) != std::end(DeepKeys))
            continue;
        const std::optional<long> imax = key == "Imax" ? imaxBeyondField(value) : std::nullopt;
        if (imax && !found.imaxBeyondField)
            found.imaxBeyondField = *imax;
        plain.emplace_back(key, imax ? QByteArray::number(ImaxFieldMax) : value);
    }
    std::optional<PictureRecord> record = pictureRecordFromTexts(plain, whyNot);
    if (!record)
        return std::nullopt;
    found.record = *record;
    Drawing &drawing = found.record.drawing;
    if (found.imaxBeyondField)
        drawing.fieldTexts[4] = NumberText::fromWhole(ImaxFieldMax);
    if (found.deepView) {
        const double edges[4] = {drawing.section.x0, drawing.section.x1, drawing.section.y0, drawing.section.y1};
        for (int k = 0; k < 4; ++k)
            drawing.fieldTexts[size_t(k)] = NumberText::fromNumber(edges[k], QLatin1Char(','));
    }
    return found;
}
