#include "pictures/picturecodec.h"

#include "core/programinfo.h"
#include "core/surfacegeometry.h"
#include "form/backcolor.h"
#include "picturefile/picturerecord.h"
#include "picturefile/pngbandwriter.h"
#include "picturefile/pngindexedreader.h"
#include "picturefile/pngtextreader.h"
#include "pictures/indexedpicture.h"

#include <QIODevice>

#include <algorithm>

namespace {

constexpr int IndexedColourType = 3;

bool fromQuirlbau(const std::vector<std::pair<QByteArray, QByteArray>> &texts)
{
    for (const auto &[keyword, value] : texts) {
        if (keyword == "Software" && value.startsWith(ProgramName))
            return true;
    }
    return false;
}

bool isExport(const PictureRecord &record)
{
    return record.size != 0 || record.lastRow != -1;
}

// The rows an export's header must hold.
QSize exportSize(const PictureRecord &record)
{
    const int width = record.size != 0 ? record.size : SurfacePixels;
    const int height = record.size != 0 ? record.height : SurfacePixels;
    const int rows = record.lastRow == -1 ? height : record.lastRow - record.firstRow + 1;
    return {width, rows};
}

// Pixels in the background colour were not drawn, unless a swatch has
// that colour too: then they stay as they are, which looks the same.
QImage surfacePicture(const QImage &image, const Palette &palette)
{
    QImage picture = image.convertToFormat(QImage::Format_RGB32)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb background = opaqueArgb(WindowBackColor);
    if (std::find(palette.begin(), palette.end(), WindowBackColor) != palette.end())
        return picture;
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        std::replace(line, line + picture.width(), background, QRgb(0));
    }
    return picture;
}

QString sizeMismatch(QSize found, QSize expected)
{
    return QStringLiteral("Das Bild ist %1 × %2 Punkte groß, seine Angaben verlangen %3 × %4.")
        .arg(found.width())
        .arg(found.height())
        .arg(expected.width())
        .arg(expected.height());
}

// The colours the writer puts first: the swatches, then the background,
// each once.
std::vector<std::uint32_t> leadingColours(const Palette &palette)
{
    std::vector<std::uint32_t> colours;
    for (ColorRef ref : palette) {
        const std::uint32_t rgb = opaqueArgb(ref) & 0xFFFFFFu;
        if (std::find(colours.begin(), colours.end(), rgb) == colours.end())
            colours.push_back(rgb);
    }
    return colours;
}

// The PLTE holds the Palette text's colours and the background, in the
// writer's order, then (for a picture drawn under several palettes) the
// colours of earlier ones, each once. A complete picture was drawn with one
// palette: its pixels are all swatches.
bool matchesRecord(const PngIndexedPicture &png, const PictureRecord &record, QString *whyNot)
{
    const std::vector<std::uint32_t> swatches = leadingColours(record.drawing.palette);
    std::vector<std::uint32_t> leading = swatches;
    const std::uint32_t background = opaqueArgb(WindowBackColor) & 0xFFFFFFu;
    if (std::find(leading.begin(), leading.end(), background) == leading.end())
        leading.push_back(background);
    std::vector<std::uint32_t> sorted = png.palette;
    std::sort(sorted.begin(), sorted.end());
    if (png.palette.size() < leading.size() || !std::equal(leading.begin(), leading.end(), png.palette.begin())
        || std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        *whyNot = QStringLiteral("Die Farbtabelle des Bildes passt nicht zu den acht Farben seiner Angaben.");
        return false;
    }
    const std::size_t limit = record.complete ? swatches.size() : png.palette.size();
    if (std::any_of(png.indices.begin(), png.indices.end(), [&](std::uint8_t index) { return index >= limit; })) {
        *whyNot = QStringLiteral("Das Bild ist als fertig verzeichnet, hat aber Punkte in anderen Farben als "
                                 "den acht seiner Angaben.");
        return false;
    }
    return true;
}

std::optional<QImage> readPixels(QIODevice &device, const PictureRecord &record, QString *whyNot)
{
    if (!device.seek(0)) {
        *whyNot = QStringLiteral("Die Datei lässt sich nicht ein zweites Mal lesen.");
        return std::nullopt;
    }
    const std::optional<PngIndexedPicture> png =
        readPngIndexed(device, qint64(SurfacePixels) * SurfacePixels, whyNot);
    if (!png || !matchesRecord(*png, record, whyNot))
        return std::nullopt;
    QImage image(png->width, png->height, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (std::uint32_t rgb : png->palette)
        colours.append(0xFF000000u | rgb);
    image.setColorTable(colours);
    for (int y = 0; y < png->height; ++y)
        std::copy_n(png->indices.data() + std::size_t(y) * std::size_t(png->width), png->width, image.scanLine(y));
    return image;
}

} // namespace

namespace PictureCodec {

bool write(QIODevice &device, const QImage &picture, const PictureRecord &record, QString *whyNot)
{
    std::vector<QRgb> leading;
    for (ColorRef swatch : record.drawing.palette)
        leading.push_back(opaqueArgb(swatch));
    leading.push_back(opaqueArgb(WindowBackColor));
    const std::optional<QImage> indexed =
        IndexedPicture::fromPicture(picture, opaqueArgb(WindowBackColor), leading);
    if (!indexed) {
        *whyNot = QStringLiteral("Das Bild hat mehr als 256 Farben; so viele fasst eine "
                                 "PNG-Datei mit Farbtabelle nicht.");
        return false;
    }
    std::vector<std::uint32_t> rgb;
    for (QRgb colour : indexed->colorTable())
        rgb.push_back(colour & 0xFFFFFFu);
    bool deviceFailed = false;
    PngBandWriter writer(
        [&device, &deviceFailed](const char *data, std::size_t size) {
            deviceFailed = device.write(data, qint64(size)) != qint64(size);
            return !deviceFailed;
        },
        indexed->width(), indexed->height(), rgb, pictureTexts(record));
    bool written = true;
    for (int y = 0; written && y < indexed->height(); ++y)
        written = writer.writeRows(indexed->constScanLine(y), 1);
    if (written && writer.finish())
        return true;
    // The system's reason comes in the system's language; the German
    // sentence before it says what happened in any case.
    *whyNot = deviceFailed ? QStringLiteral("Das Schreiben ist fehlgeschlagen (Datenträger voll "
                                            "oder Dateigröße begrenzt?): %1")
                                 .arg(device.errorString())
                           : writer.error();
    return false;
}

std::optional<Contents> read(QIODevice &device, QString *whyNot)
{
    const std::optional<PngHeaderAndTexts> header = readPngTexts(device, whyNot);
    if (!header)
        return std::nullopt;
    if (!fromQuirlbau(header->texts)) {
        *whyNot = QStringLiteral("Die Datei ist kein Bild von Quirlbau: ihr fehlen die Angaben "
                                 "zu Ausschnitt, Imax und Farben.");
        return std::nullopt;
    }
    const std::optional<WindowRecord> opened = windowRecordFromTexts(header->texts, whyNot);
    if (!opened)
        return std::nullopt;
    const PictureRecord &record = opened->record;
    const QSize found(header->width, header->height);
    const QSize expected =
        isExport(record) ? exportSize(record) : QSize(SurfacePixels, SurfacePixels);
    if (found != expected) {
        *whyNot = sizeMismatch(found, expected);
        return std::nullopt;
    }
    Contents contents{record, opened->deepView, opened->imaxBeyondField, std::nullopt};
    // Pixels drawn with values the fields cannot hold are no picture the
    // window's record could describe: such a file brings its texts alone.
    if (isExport(record) || opened->imaxBeyondField)
        return contents;
    if (header->colourType != IndexedColourType || header->bitDepth != 8) {
        *whyNot = QStringLiteral("Das Bild hat keine Farbtabelle mit 8 Bit je Punkt, wie "
                                 "Quirlbau sie schreibt.");
        return std::nullopt;
    }
    const std::optional<QImage> image = readPixels(device, record, whyNot);
    if (!image)
        return std::nullopt;
    contents.picture = surfacePicture(*image, record.drawing.palette);
    return contents;
}

QString sectionText(const Drawing &record)
{
    QStringList lines;
    for (const auto &[keyword, value] : pictureTexts({record})) {
        if (keyword == "X0" || keyword == "X1" || keyword == "Y0" || keyword == "Y1"
            || keyword == "Imax")
            lines.append(QString::fromUtf8(keyword + " = " + value));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace PictureCodec
