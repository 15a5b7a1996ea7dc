#include "picturefile/pngtextreader.h"

#include <QIODevice>

#include <zlib.h>

namespace {

const QByteArray Signature("\x89PNG\r\n\x1a\n", 8);
// Ahead of the pixels a PNG holds a few small chunks; anything far larger
// is refused rather than read into memory.
constexpr quint32 MaxChunkBytes = 16u << 20;
constexpr int MaxChunks = 4096;

struct Chunk
{
    QByteArray type;
    QByteArray data;
};

quint32 bigEndian(const QByteArray &bytes, int at)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

std::optional<QByteArray> readExactly(QIODevice &device, qint64 size)
{
    QByteArray bytes = device.read(size);
    if (bytes.size() != size)
        return std::nullopt;
    return bytes;
}

// One chunk with its CRC checked, or why not.
std::optional<Chunk> readChunk(QIODevice &device, QString *whyNot)
{
    const auto head = readExactly(device, 8);
    if (!head) {
        *whyNot = QStringLiteral("Die Datei endet vor den Bilddaten.");
        return std::nullopt;
    }
    const quint32 length = bigEndian(*head, 0);
    if (length > MaxChunkBytes) {
        *whyNot = QStringLiteral("Ein Abschnitt der Datei ist %1 Bytes lang, zu lang.").arg(length);
        return std::nullopt;
    }
    const auto body = readExactly(device, qint64(length) + 4);
    if (!body) {
        *whyNot = QStringLiteral("Die Datei endet vor den Bilddaten.");
        return std::nullopt;
    }
    Chunk chunk{head->mid(4, 4), body->left(int(length))};
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(chunk.type.constData()), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(chunk.data.constData()), uInt(length));
    if (crc != bigEndian(*body, int(length))) {
        *whyNot = QStringLiteral("Die Prüfsumme des Abschnitts „%1“ stimmt nicht.")
                      .arg(QString::fromLatin1(chunk.type));
        return std::nullopt;
    }
    return chunk;
}

bool validDepth(int colourType, int depth)
{
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

bool readHeader(const Chunk &chunk, PngHeaderAndTexts &png)
{
    if (chunk.type != "IHDR" || chunk.data.size() != 13)
        return false;
    const quint32 width = bigEndian(chunk.data, 0), height = bigEndian(chunk.data, 4);
    const auto *b = reinterpret_cast<const unsigned char *>(chunk.data.constData());
    png.width = int(width);
    png.height = int(height);
    png.bitDepth = b[8];
    png.colourType = b[9];
    return width >= 1 && width <= 0x7FFFFFFF && height >= 1 && height <= 0x7FFFFFFF
        && validDepth(png.colourType, png.bitDepth) && b[10] == 0 && b[11] == 0 && b[12] <= 1;
}

// Keyword, NUL, Latin-1 text.
bool readText(const QByteArray &data, PictureTexts &texts)
{
    const int nul = data.indexOf('\0');
    if (nul < 1 || nul > 79)
        return false;
    texts.emplace_back(data.left(nul), QString::fromLatin1(data.mid(nul + 1)).toUtf8());
    return true;
}

// Keyword, NUL, compressed?, method, language, NUL, translated keyword, NUL,
// UTF-8 text. Compressed ones are skipped: the program writes none.
bool readInternationalText(const QByteArray &data, PictureTexts &texts)
{
    const int nul = data.indexOf('\0');
    if (nul < 1 || nul > 79 || data.size() < nul + 3)
        return false;
    const int languageEnd = data.indexOf('\0', nul + 3);
    const int translatedEnd = languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
    if (translatedEnd < 0)
        return false;
    if (data[nul + 1] == 0)
        texts.emplace_back(data.left(nul), data.mid(translatedEnd + 1));
    return true;
}

bool readTextsUntilPixels(QIODevice &device, PictureTexts &texts, QString *whyNot)
{
    for (int count = 0; count < MaxChunks; ++count) {
        const auto chunk = readChunk(device, whyNot);
        if (!chunk)
            return false;
        if (chunk->type == "IDAT")
            return true;
        if (chunk->type == "IEND") {
            *whyNot = QStringLiteral("Die Datei enthält keine Bilddaten.");
            return false;
        }
        const bool readable = chunk->type == "tEXt"   ? readText(chunk->data, texts)
                              : chunk->type == "iTXt" ? readInternationalText(chunk->data, texts)
                                                      : true;
        if (!readable) {
            *whyNot = QStringLiteral("Ein Textabschnitt der Datei ist ungültig.");
            return false;
        }
    }
    *whyNot = QStringLiteral("Die Datei hat zu viele Abschnitte vor den Bilddaten.");
    return false;
}

bool readPng(QIODevice &device, PngHeaderAndTexts &png, QString *whyNot)
{
    if (readExactly(device, 8) != Signature) {
        *whyNot = QStringLiteral("Die Datei ist kein PNG-Bild.");
        return false;
    }
    const auto header = readChunk(device, whyNot);
    if (!header)
        return false;
    if (!readHeader(*header, png)) {
        *whyNot = QStringLiteral("Der Kopf des PNG-Bildes ist ungültig.");
        return false;
    }
    return readTextsUntilPixels(device, png.texts, whyNot);
}

} // namespace

std::optional<PngHeaderAndTexts> readPngTexts(QIODevice &device, QString *whyNot)
{
    QString reason;
    PngHeaderAndTexts png;
    if (readPng(device, png, &reason))
        return png;
    if (whyNot)
        *whyNot = reason;
    return std::nullopt;
}
