#include "picturefile/pngbandwriter.h"

#include <png.h>

#include <algorithm>

namespace {

// Each compressed stretch of this size reaches the sink as one IDAT chunk.
constexpr std::size_t IdatBytes = 1 << 16;

bool plainAscii(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\n'; });
}

} // namespace

struct PngBandWriter::Png
{
    Sink sink;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0;
    int height = 0;
    int rowsWritten = 0;
    bool sinkFailed = false;
    QString failure; // empty while all is well
    // Built before any libpng call, which may jump past destructors.
    std::vector<png_color> colours;
    std::vector<png_text> chunks;

    // libpng reports errors through this and must not get control back:
    // it returns to the setjmp of the call that was running.
    static void error(png_structp png, png_const_charp message)
    {
        auto *self = static_cast<Png *>(png_get_error_ptr(png));
        if (self->failure.isEmpty())
            self->failure = self->sinkFailed ? QStringLiteral("Die Daten ließen sich nicht schreiben.")
                                             : QStringLiteral("libpng: %1").arg(QString::fromUtf8(message));
        png_longjmp(png, 1);
    }
    static void warning(png_structp, png_const_charp) {}
    static void write(png_structp png, png_bytep data, png_size_t size)
    {
        auto *self = static_cast<Png *>(png_get_io_ptr(png));
        if (!self->sink(reinterpret_cast<const char *>(data), size)) {
            self->sinkFailed = true;
            png_error(png, "sink");
        }
    }
    static void flush(png_structp) {}

    void prepare(const std::vector<std::uint32_t> &rgbPalette, const PictureTexts &texts);
    void start(int level);
};

void PngBandWriter::Png::prepare(const std::vector<std::uint32_t> &rgbPalette, const PictureTexts &texts)
{
    for (std::uint32_t rgb : rgbPalette)
        colours.push_back({png_byte(rgb >> 16), png_byte(rgb >> 8), png_byte(rgb)});
    chunks.resize(texts.size());
    for (size_t k = 0; k < texts.size(); ++k) {
        png_text &chunk = chunks[k];
        chunk.key = const_cast<char *>(texts[k].first.constData());
        chunk.text = const_cast<char *>(texts[k].second.constData());
        if (plainAscii(texts[k].second)) {
            chunk.compression = PNG_TEXT_COMPRESSION_NONE;
            chunk.text_length = size_t(texts[k].second.size());
        } else {
            chunk.compression = PNG_ITXT_COMPRESSION_NONE;
            chunk.itxt_length = size_t(texts[k].second.size());
        }
    }
}

// Runs under the constructor's setjmp.
void PngBandWriter::Png::start(int level)
{
    png_set_write_fn(png, this, &Png::write, &Png::flush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, colours.data(), int(colours.size()));
    png_set_text(png, info, chunks.data(), int(chunks.size()));
    // Palette pictures compress best unfiltered; filters only cost time.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, level);
    png_set_compression_buffer_size(png, IdatBytes);
    png_write_info(png, info);
}

PngBandWriter::PngBandWriter(Sink sink, int width, int height, const std::vector<std::uint32_t> &rgbPalette,
                             const PictureTexts &texts, int compressionLevel)
    : m_png(std::make_unique<Png>())
{
    Png &p = *m_png;
    p.sink = std::move(sink);
    p.width = width;
    p.height = height;
    if (rgbPalette.empty() || rgbPalette.size() > 256 || width < 1 || height < 1) {
        p.failure = QStringLiteral("Bildgröße oder Palette ungültig.");
        return;
    }
    p.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &p, &Png::error, &Png::warning);
    p.info = p.png ? png_create_info_struct(p.png) : nullptr;
    if (!p.info) {
        p.failure = QStringLiteral("Kein Speicher für libpng.");
        return;
    }
    p.prepare(rgbPalette, texts);
    if (setjmp(png_jmpbuf(p.png)))
        return;
    p.start(compressionLevel);
}

PngBandWriter::~PngBandWriter()
{
    if (m_png->png)
        png_destroy_write_struct(&m_png->png, m_png->info ? &m_png->info : nullptr);
}

bool PngBandWriter::writeRows(const std::uint8_t *indices, int rows)
{
    Png &p = *m_png;
    if (!p.failure.isEmpty())
        return false;
    if (rows < 0 || rows > p.height - p.rowsWritten) {
        p.failure = QStringLiteral("Mehr Zeilen als die Bildhöhe %1.").arg(p.height);
        return false;
    }
    if (setjmp(png_jmpbuf(p.png)))
        return false;
    for (int row = 0; row < rows; ++row)
        png_write_row(p.png, indices + std::size_t(row) * std::size_t(p.width));
    p.rowsWritten += rows;
    return true;
}

bool PngBandWriter::finish()
{
    Png &p = *m_png;
    if (!p.failure.isEmpty())
        return false;
    if (p.rowsWritten != p.height) {
        p.failure = QStringLiteral("Es fehlen Zeilen: %1 von %2 geschrieben.").arg(p.rowsWritten).arg(p.height);
        return false;
    }
    if (setjmp(png_jmpbuf(p.png)))
        return false;
    png_write_end(p.png, nullptr);
    return true;
}

QString PngBandWriter::error() const
{
    return m_png->failure;
}
