#pragma once

#include "core/standardcolors.h"
#include "picturefile/pngbandwriter.h"
#include "picturefile/pngtextreader.h"

#include <QFile>
#include <QImage>
#include <QTest>
#include <QtEndian>

#include <zlib.h>

#include <bit>
#include <optional>
#include <vector>

// Picture files for the tests: records, PNG bytes as the program writes
// them, and what a written file holds.

// The record of a complete window run of the start section.
inline PictureRecord startRecord()
{
    PictureRecord record;
    record.drawing.fieldTexts = {u"-1,4025"_qs, u"-1,4020"_qs, u"0,0000"_qs, u"0,0005"_qs, u"300"_qs};
    record.drawing.section.x0 = -1.4025;
    record.drawing.section.x1 = -1.4020;
    record.drawing.section.y1 = 0.0005;
    record.drawing.imax = 300;
    record.drawing.palette = StandardColors;
    record.complete = true;
    return record;
}

// Indices that differ in every row and column, so a lost or shifted row shows.
inline std::vector<std::uint8_t> pattern(int width, int height, int colours)
{
    std::vector<std::uint8_t> indices(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            indices[size_t(y) * size_t(width) + size_t(x)] = std::uint8_t((x * 7 + y * y * 3 + x / 5) % colours);
    return indices;
}

inline std::vector<std::uint32_t> rgbPalette(int colours)
{
    std::vector<std::uint32_t> rgb;
    for (int k = 0; k < colours; ++k)
        rgb.push_back(std::uint32_t(k * 0x0A1B2C + 0x102030) & 0xFFFFFF);
    return rgb;
}

// The PNG bytes of `indices` written `band` rows at a time; empty if the
// writer refused.
inline QByteArray pngBytes(const std::vector<std::uint8_t> &indices, int width, int height, int band,
                           const std::vector<std::uint32_t> &palette, const PictureTexts &texts, int level = 6)
{
    QByteArray bytes;
    PngBandWriter writer([&](const char *data, std::size_t size) { bytes.append(data, qsizetype(size)); return true; },
                         width, height, palette, texts, level);
    for (int row = 0; row < height; row += band)
        if (!writer.writeRows(indices.data() + size_t(row) * size_t(width), std::min(band, height - row)))
            return {};
    return writer.finish() ? bytes : QByteArray();
}

// A square picture file with `texts` and pixels of four colours.
inline QByteArray pngBytes(int side, const PictureTexts &texts)
{
    return pngBytes(pattern(side, side, 4), side, side, side, rgbPalette(4), texts);
}

// Sets the CRC of the chunk at `at` right again after its data was changed.
inline void fixCrc(QByteArray &png, qsizetype at)
{
    const auto *bytes = reinterpret_cast<const uchar *>(png.constData());
    const quint32 length =
        quint32(bytes[at]) << 24 | quint32(bytes[at + 1]) << 16 | quint32(bytes[at + 2]) << 8 | bytes[at + 3];
    const uLong crc = crc32(0, bytes + at + 4, uInt(length + 4));
    for (int k = 0; k < 4; ++k)
        png[at + 8 + qsizetype(length) + k] = char(crc >> (24 - 8 * k));
}

inline bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QImage pixelsOf(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// The record in a file's texts; nullopt if the file or its texts are refused.
inline std::optional<PictureRecord> recordOf(const QString &path)
{
    QFile file(path);
    QString whyNot;
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<PngHeaderAndTexts> header = readPngTexts(file, &whyNot);
    return header ? pictureRecordFromTexts(header->texts, &whyNot) : std::nullopt;
}

// The texts with every `keyword` set to `value`.
inline PictureTexts withValue(PictureTexts texts, const QByteArray &keyword, const QByteArray &value)
{
    for (auto &[key, text] : texts) {
        if (key == keyword)
            text = value;
    }
    return texts;
}

// The value of `keyword`; a null array where it is missing.
inline QByteArray valueOf(const PictureTexts &texts, const QByteArray &keyword)
{
    for (const auto &[key, text] : texts) {
        if (key == keyword)
            return text;
    }
    return {};
}

// The texts of a deep still as the export writes them: the record's, Imax
// the deep one, and the view's centre and width.
inline PictureTexts deepTexts(const PictureRecord &record, const QByteArray &imax)
{
    PictureTexts texts = withValue(pictureTexts(record), "Imax", imax);
    texts.emplace_back("Re", "-0,74364388703715870475219150611477");
    texts.emplace_back("Im", "0,13182590420531197049313205638514");
    texts.emplace_back("Width", "1E-30");
    return texts;
}

// A file's texts; empty if it is no PNG.
inline PictureTexts textsOfFile(const QString &path)
{
    QFile file(path);
    QString whyNot;
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<PngHeaderAndTexts> header = readPngTexts(file, &whyNot);
    return header ? header->texts : PictureTexts();
}

// A PNG chunk: length, type, data, CRC.
inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.constData() + 4), uInt(data.size() + 4));
    QByteArray crcBytes(4, '\0');
    qToBigEndian(quint32(crc), crcBytes.data());
    return chunk + crcBytes;
}

// A file of `count` private chunks of `chunkBytes` zero bytes each, CRCs
// right, between a 1 × 1 IHDR and the pixels: sparse, so that it takes no
// room however large it claims to be.
inline void writeCraftedPng(const QString &path, int count, quint32 chunkBytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray ihdr = QByteArray::fromHex("00000001000000010803000000");
    file.write(QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr));
    const std::vector<Bytef> zeros(chunkBytes, 0);
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef *>("quIr"), 4), zeros.data(), uInt(chunkBytes));
    QByteArray head(4, '\0'), tail(4, '\0');
    qToBigEndian(chunkBytes, head.data());
    qToBigEndian(quint32(crc), tail.data());
    for (int k = 0; k < count; ++k) {
        QVERIFY(file.write(head + "quIr") == 8);
        QVERIFY(file.seek(file.pos() + qint64(chunkBytes)));
        QVERIFY(file.write(tail) == 4);
    }
    file.write(pngChunk("IEND", {}));
}
