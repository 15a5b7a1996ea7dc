#include "picturefile/pngreadsession.h"

#include <QIODevice>

#include <algorithm>
#include <csetjmp>

namespace {

constexpr int SignatureBytes = 8;
constexpr int HeaderBytes = 8;   // length and type
constexpr int TrailerBytes = 4;  // CRC

quint32 bigEndian(const QByteArray &bytes, int at)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

// libpng's callbacks. Each finishes its C++ work before png_error or
// png_longjmp leaves its frame.
extern "C" void readData(png_structp png, png_bytep data, size_t length)
{
    if (!static_cast<PngReadSession *>(png_get_io_ptr(png))->take(data, length))
        png_error(png, "read");
}

extern "C" void onError(png_structp png, png_const_charp message)
{
    static_cast<PngReadSession *>(png_get_error_ptr(png))->noteError(message);
    png_longjmp(png, 1);
}

extern "C" void onWarning(png_structp, png_const_charp)
{
    // Nothing reaches the terminal; what matters is an error.
}

// Only C calls between setjmp and the return: a longjmp skips no destructor.
bool readInfoGuarded(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_sig_bytes(png, SignatureBytes);
    png_read_info(png, info);
    return true;
}

bool readRowsGuarded(png_structp png, png_infop info, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

} // namespace

PngReadSession::PngReadSession(QIODevice &device)
    : m_device(device)
{
    m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
    if (m_png)
        m_info = png_create_info_struct(m_png);
    if (!m_info)
        return;
    png_set_read_fn(m_png, this, readData);
    png_set_crc_action(m_png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    // What libpng would only warn about refuses the file too.
    png_set_benign_errors(m_png, 0);
    png_set_chunk_malloc_max(m_png, MaxBytesAhead);
}

PngReadSession::~PngReadSession()
{
    png_destroy_read_struct(&m_png, m_info ? &m_info : nullptr, nullptr);
}

bool PngReadSession::readInfo()
{
    if (!m_info)
        return refuse(QStringLiteral("Nicht genug Arbeitsspeicher, um die Datei zu lesen."));
    png_byte signature[SignatureBytes];
    if (m_device.read(reinterpret_cast<char *>(signature), SignatureBytes) != SignatureBytes
        || png_sig_cmp(signature, 0, SignatureBytes) != 0)
        return refuse(QStringLiteral("Die Datei ist kein PNG-Bild."));
    m_offset = SignatureBytes;
    return readInfoGuarded(m_png, m_info);
}

bool PngReadSession::readIndexedRows(std::vector<std::uint8_t> &indices, qint64 pixelBytes)
{
    const std::size_t width = png_get_image_width(m_png, m_info);
    const std::size_t height = png_get_image_height(m_png, m_info);
    m_pixelBudget = pixelBytes;
    indices.assign(width * height, 0);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y)
        rows[y] = indices.data() + y * width;
    return readRowsGuarded(m_png, m_info, rows.data());
}

bool PngReadSession::take(png_bytep data, std::size_t length)
{
    if (m_device.read(reinterpret_cast<char *>(data), qint64(length)) != qint64(length))
        return refuse(QStringLiteral("Die Datei endet vor den Bilddaten."));
    seeBytes(data, length);
    if (m_reason.isEmpty() && m_pixelBudget > 0 && m_pixelsReached && m_offset - m_pixelsFrom > m_pixelBudget)
        return refuse(QStringLiteral("Die Bilddaten sind länger, als ein Bild dieser Größe sein kann."));
    return m_reason.isEmpty();
}

// Follows the chunk boundaries in the bytes as they pass, so that the
// bounds apply to a chunk before libpng reads its body.
void PngReadSession::seeBytes(const std::uint8_t *data, std::size_t length)
{
    const qint64 end = m_offset + qint64(length);
    while (m_reason.isEmpty() && m_nextHeader + HeaderBytes > m_offset && m_nextHeader < end) {
        const qint64 from = std::max(m_offset, m_nextHeader + m_header.size());
        const qint64 to = std::min(end, m_nextHeader + HeaderBytes);
        m_header.append(reinterpret_cast<const char *>(data + (from - m_offset)), qsizetype(to - from));
        if (m_header.size() < HeaderBytes)
            break;
        if (!seeChunkHeader(m_header))
            break;
        m_nextHeader += HeaderBytes + qint64(bigEndian(m_header, 0)) + TrailerBytes;
        m_header.clear();
    }
    m_offset = end;
}

bool PngReadSession::seeChunkHeader(const QByteArray &header)
{
    const quint32 length = bigEndian(header, 0);
    m_chunkType = header.mid(4, 4);
    if (m_pixelsReached)
        return true;
    if (m_chunkType == "IDAT") {
        m_pixelsReached = true;
        m_pixelsFrom = m_nextHeader;
        return true;
    }
    if (m_chunkType == "IEND")
        return refuse(QStringLiteral("Die Datei enthält keine Bilddaten."));
    if (length > MaxBytesAhead)
        return refuse(QStringLiteral("Ein Abschnitt der Datei ist %1 Bytes lang, zu lang.").arg(length));
    if (++m_chunksAhead > MaxChunksAhead)
        return refuse(QStringLiteral("Die Datei hat zu viele Abschnitte vor den Bilddaten."));
    if (m_nextHeader + HeaderBytes + length + TrailerBytes > MaxBytesAhead)
        return refuse(QStringLiteral("Die Abschnitte vor den Bilddaten sind zusammen länger als %1 Bytes.")
                          .arg(MaxBytesAhead));
    return true;
}

void PngReadSession::noteError(const char *message)
{
    if (!m_reason.isEmpty())
        return;
    const QByteArray text(message);
    const QString type = QString::fromLatin1(m_chunkType);
    if (text.contains("CRC error"))
        m_reason = QStringLiteral("Die Prüfsumme des Abschnitts „%1“ stimmt nicht.").arg(type);
    else if (m_chunkType == "IHDR" || text.contains("IHDR"))
        m_reason = QStringLiteral("Der Kopf des PNG-Bildes ist ungültig.");
    else if (m_chunkType == "tEXt" || m_chunkType == "zTXt" || m_chunkType == "iTXt")
        m_reason = QStringLiteral("Ein Textabschnitt der Datei ist ungültig.");
    else if (m_pixelsReached)
        m_reason = QStringLiteral("Die Bildpunkte sind beschädigt oder unvollständig.");
    else
        m_reason = QStringLiteral("Die Datei ist als PNG-Bild beschädigt.");
}

bool PngReadSession::refuse(const QString &reason)
{
    if (m_reason.isEmpty())
        m_reason = reason;
    return false;
}
