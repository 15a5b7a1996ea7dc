// libFuzzer target for the reader of a picture file's header and texts, and
// the record read from them: the input is the file.
//
// Checks:
// - a header that is read has a positive size and at most the bounded
//   number of texts, each with a keyword;
// - a record that is accepted survives the round trip record -> texts ->
//   record unchanged, its numbers bit for bit;
// - every refusal gives a reason.

#include "picturefile/picturerecord.h"
#include "picturefile/pngtextreader.h"

#include <QBuffer>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_pngtexts: %s\n", what);
    std::abort();
}

bool sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool sameRecord(const PictureRecord &a, const PictureRecord &b)
{
    return a.drawing.fieldTexts == b.drawing.fieldTexts && sameBits(a.drawing.section.x0, b.drawing.section.x0) && sameBits(a.drawing.section.x1, b.drawing.section.x1)
        && sameBits(a.drawing.section.y0, b.drawing.section.y0) && sameBits(a.drawing.section.y1, b.drawing.section.y1) && a.drawing.imax == b.drawing.imax
        && a.drawing.palette == b.drawing.palette && a.complete == b.complete && a.size == b.size
        && a.firstRow == b.firstRow && a.lastRow == b.lastRow && a.counts == b.counts;
}

void checkRecord(const PictureTexts &texts)
{
    QString whyNot;
    const std::optional<PictureRecord> record = pictureRecordFromTexts(texts, &whyNot);
    if (!record) {
        if (whyNot.isEmpty())
            fail("a record refused without a reason");
        return;
    }
    QString again;
    const std::optional<PictureRecord> back = pictureRecordFromTexts(pictureTexts(*record), &again);
    if (!back)
        fail("the texts of an accepted record are refused");
    if (!sameRecord(*record, *back))
        fail("record -> texts -> record changed it");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    QString whyNot;
    const std::optional<PngHeaderAndTexts> header = readPngTexts(device, &whyNot);
    if (!header) {
        if (whyNot.isEmpty())
            fail("a file refused without a reason");
        return 0;
    }
    if (header->width <= 0 || header->height <= 0)
        fail("a header without a size was accepted");
    for (const auto &text : header->texts) {
        if (text.first.isEmpty())
            fail("a text without a keyword");
    }
    checkRecord(header->texts);
    return 0;
}
