#pragma once

#include <QByteArray>
#include <QString>

#include <png.h>

#include <cstdint>
#include <vector>

class QIODevice;

// One read of a PNG through libpng, which checks the format, every CRC
// (fatal, for ancillary chunks too) and decompresses the texts. The file is
// distrusted: what comes before the first IDAT is bounded in bytes and in
// chunks, so a crafted file is refused after reading at most MaxBytesAhead;
// what comes after it is bounded by the caller's budget for the pixels.
// Every failure leaves one German reason, e.g. "Die Datei endet vor den
// Bilddaten."
class PngReadSession
{
public:
    static constexpr qint64 MaxBytesAhead = 1 << 20;
    static constexpr int MaxChunksAhead = 64;

    explicit PngReadSession(QIODevice &device);
    ~PngReadSession();
    PngReadSession(const PngReadSession &) = delete;
    PngReadSession &operator=(const PngReadSession &) = delete;

    // Signature, IHDR and every chunk up to the first IDAT's header.
    bool readInfo();
    // After readInfo: 8-bit palette indices, `pixelBytes` bytes of file at
    // most from the first IDAT on, the zlib stream ending with the last row.
    bool readIndexedRows(std::vector<std::uint8_t> &indices, qint64 pixelBytes);

    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }
    QString reason() const { return m_reason; }

    // Called by libpng; not for other use.
    bool take(png_bytep data, std::size_t length);
    void noteError(const char *message);

private:
    bool seeChunkHeader(const QByteArray &header);
    void seeBytes(const std::uint8_t *data, std::size_t length);
    bool refuse(const QString &reason);

    QIODevice &m_device;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
    QString m_reason;
    qint64 m_offset = 0;     // bytes read
    qint64 m_nextHeader = 8; // where the next chunk's length begins
    QByteArray m_header;     // the part of that header read so far
    QByteArray m_chunkType;  // of the chunk being read
    int m_chunksAhead = 0;
    bool m_pixelsReached = false;
    qint64 m_pixelsFrom = 0;
    qint64 m_pixelBudget = 0; // 0: the pixels are not read
};
