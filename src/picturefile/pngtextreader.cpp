#include "picturefile/pngtextreader.h"

#include "picturefile/pngreadsession.h"

namespace {

// tEXt and zTXt hold Latin-1, iTXt UTF-8.
QByteArray utf8Value(const png_text &text)
{
    const QByteArray value(text.text, qsizetype(text.compression >= PNG_ITXT_COMPRESSION_NONE ? text.itxt_length
                                                                                             : text.text_length));
    return text.compression >= PNG_ITXT_COMPRESSION_NONE ? value : QString::fromLatin1(value).toUtf8();
}

} // namespace

std::optional<PngHeaderAndTexts> readPngTexts(QIODevice &device, QString *whyNot)
{
    PngReadSession session(device);
    if (!session.readInfo()) {
        if (whyNot)
            *whyNot = session.reason();
        return std::nullopt;
    }
    PngHeaderAndTexts png;
    png.width = int(png_get_image_width(session.png(), session.info()));
    png.height = int(png_get_image_height(session.png(), session.info()));
    png.bitDepth = png_get_bit_depth(session.png(), session.info());
    png.colourType = png_get_color_type(session.png(), session.info());
    png_textp texts = nullptr;
    const int count = png_get_text(session.png(), session.info(), &texts, nullptr);
    for (int k = 0; k < count; ++k)
        png.texts.emplace_back(QByteArray(texts[k].key), utf8Value(texts[k]));
    return png;
}
