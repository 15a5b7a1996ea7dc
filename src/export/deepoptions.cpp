#include "export/deepoptions.h"

#include "core/numbertext.h"
#include "core/standardcolors.h"
#include "deep/decimaltext.h"
#include "deep/deepview.h"
#include "export/exportoptions.h"

#include <cmath>

namespace {

const QByteArray DeepKeys[3] = {"Re", "Im", "Width"};

std::optional<std::int64_t> deepImaxOf(const QString &text)
{
    const std::optional<double> value = NumberText::toNumber(text, QLatin1Char(','));
    if (!value || *value != std::floor(*value) || *value < 1 || *value > double(DeepImaxMax))
        return std::nullopt;
    return std::int64_t(*value);
}

QByteArray valueOf(const PictureTexts &texts, const QByteArray &key)
{
    for (const auto &[name, value] : texts) {
        if (name == key)
            return value;
    }
    return {};
}

// The edges nearest as doubles, for the record's section and field texts.
void setEdges(DeepRequest &request, const DeepView &view)
{
    MpReal edge(view.precision() + 8);
    const auto edgeOf = [&](const MpReal &centre, int sign, bool vertical) {
        mpfr_mul_ui(edge.get(), view.width().get(), vertical ? view.pixelsHigh() : view.pixelsWide(), MPFR_RNDN);
        mpfr_div_ui(edge.get(), edge.get(), 2 * view.pixelsWide(), MPFR_RNDN);
        mpfr_mul_si(edge.get(), edge.get(), sign, MPFR_RNDN);
        mpfr_add(edge.get(), edge.get(), centre.get(), MPFR_RNDN);
        return mpfr_get_d(edge.get(), MPFR_RNDN);
    };
    Section &section = request.record.drawing.section;
    section = {edgeOf(view.centreRe(), -1, false), edgeOf(view.centreRe(), 1, false),
               edgeOf(view.centreIm(), -1, true), edgeOf(view.centreIm(), 1, true)};
    const double edges[4] = {section.x0, section.x1, section.y0, section.y1};
    for (int k = 0; k < 4; ++k)
        request.record.drawing.fieldTexts[size_t(k)] = NumberText::fromNumber(edges[k], QLatin1Char(','));
}

} // namespace

DeepOptions::DeepOptions()
    : m_re(u"re"_qs, u"Realteil der Bildmitte, beliebig viele Stellen (statt --x0 … --y1)."_qs, u"ZAHL"_qs),
      m_im(u"im"_qs, u"Imaginärteil der Bildmitte, beliebig viele Stellen."_qs, u"ZAHL"_qs),
      m_width(u"width"_qs, u"Breite des Ausschnitts, beliebig viele Stellen; Höhe = Breite × H / B."_qs,
              u"ZAHL"_qs)
{
}

bool DeepOptions::requested(const QCommandLineParser &parser) const
{
    return parser.isSet(m_re) || parser.isSet(m_im) || parser.isSet(m_width);
}

bool DeepOptions::read(const QCommandLineParser &parser, const Shared &shared,
                       const std::optional<DeepRequest> &saved, DeepRequest &request, QString *error) const
{
    const QCommandLineOption *options[3] = {&m_re, &m_im, &m_width};
    QString *texts[3] = {&request.re, &request.im, &request.width};
    if (saved)
        request = *saved;
    else
        request.record.drawing.palette = StandardColors;
    for (int k = 0; k < 3; ++k) {
        const QString name = options[k]->names().constFirst();
        if (parser.isSet(*options[k]))
            *texts[k] = parser.value(*options[k]);
        else if (!saved) {
            *error = u"--%1: fehlt; --re, --im und --width gelten nur zusammen."_qs.arg(name);
            return false;
        }
        if (!DecimalText::isDecimal(texts[k]->toStdString())) {
            *error = u"--%1: „%2“ ist keine Zahl."_qs.arg(name, *texts[k]);
            return false;
        }
    }
    if (parser.isSet(shared.size)) {
        const QString text = parser.value(shared.size);
        const auto size = sizeOf(text);
        if (!size) {
            *error = u"--size: „%1“ liegt nicht zwischen 1 und %2."_qs.arg(text).arg(PictureMaxSize);
            return false;
        }
        request.record.size = size->first;
        request.record.height = size->second;
    } else if (shared.defaultSize) {
        request.record.size = shared.defaultSize->first;
        request.record.height = shared.defaultSize->second;
    } else if (!saved) {
        *error = u"--size: fehlt; --re, --im und --width brauchen B × H."_qs;
        return false;
    }
    if (parser.isSet(shared.imax)) {
        const QString text = parser.value(shared.imax);
        const auto imax = deepImaxOf(text);
        if (!imax) {
            *error = u"--imax: „%1“ ist keine Zahl zwischen 1 und %2."_qs.arg(text).arg(DeepImaxMax);
            return false;
        }
        request.imax = *imax;
    }
    if (parser.isSet(shared.cycle))
        request.record.cycle = true;
    if (!settle(request)) {
        *error = u"--width: „%1“ ist nicht größer als 0."_qs.arg(request.width);
        return false;
    }
    return true;
}

bool DeepOptions::settle(DeepRequest &request)
{
    const auto view = DeepView::make(request.re.toStdString(), request.im.toStdString(),
                                     request.width.toStdString(), request.record.size, request.record.height);
    if (!view)
        return false;
    setEdges(request, *view);
    request.record.drawing.fieldTexts[4] = QString::number(request.imax);
    request.record.complete = true;
    return true;
}

// The texts without Re, Im, Width and with a placeholder Imax are an
// ordinary record: its palette, size and cycle.
std::optional<DeepRequest> DeepOptions::fromTexts(const PictureTexts &texts, QString *whyNot)
{
    PictureTexts plain;
    for (const auto &[name, value] : texts) {
        if (name == "Imax")
            plain.emplace_back(name, "300");
        else if (name != DeepKeys[0] && name != DeepKeys[1] && name != DeepKeys[2])
            plain.emplace_back(name, value);
    }
    const std::optional<PictureRecord> record = pictureRecordFromTexts(plain, whyNot);
    if (!record)
        return std::nullopt;
    DeepRequest request;
    request.record = *record;
    QString *values[3] = {&request.re, &request.im, &request.width};
    for (int k = 0; k < 3; ++k) {
        *values[k] = QString::fromUtf8(valueOf(texts, DeepKeys[k]));
        if (!DecimalText::isDecimal(values[k]->toStdString())) {
            *whyNot = u"Der Wert von %1 ist keine Zahl."_qs.arg(QString::fromLatin1(DeepKeys[k]));
            return std::nullopt;
        }
    }
    const auto imax = deepImaxOf(QString::fromUtf8(valueOf(texts, "Imax")));
    if (!imax || record->size == 0) {
        *whyNot = imax ? u"Der Schlüssel „Size“ fehlt."_qs
                       : u"Der Wert von Imax ist keine ganze Zahl zwischen 1 und %1."_qs.arg(DeepImaxMax);
        return std::nullopt;
    }
    request.imax = *imax;
    return request;
}

PictureTexts DeepOptions::texts(const DeepRequest &request)
{
    PictureTexts texts = pictureTexts(request.record);
    for (auto &[name, value] : texts) {
        if (name == "Imax")
            value = QByteArray::number(qlonglong(request.imax));
    }
    const QString *values[3] = {&request.re, &request.im, &request.width};
    for (int k = 0; k < 3; ++k)
        texts.emplace_back(DeepKeys[k], values[k]->toUtf8());
    return texts;
}
