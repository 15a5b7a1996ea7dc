#include "pictures/indexedpicture.h"

#include <algorithm>

namespace {

constexpr int MaxColours = 256;

// A linear table: a picture has a handful of colours, and neighbouring
// pixels mostly share one, so the last hit is tried first.
class ColourTable
{
public:
    explicit ColourTable(const std::vector<QRgb> &leading)
    {
        for (QRgb colour : leading)
            indexOf(colour);
    }

    int indexOf(QRgb colour)
    {
        if (!m_colours.empty() && m_colours[size_t(m_last)] == colour)
            return m_last;
        const auto found = std::find(m_colours.begin(), m_colours.end(), colour);
        if (found == m_colours.end()) {
            if (m_colours.size() == MaxColours)
                return -1;
            m_colours.push_back(colour);
            m_last = int(m_colours.size()) - 1;
        } else {
            m_last = int(found - m_colours.begin());
        }
        return m_last;
    }

    QList<QRgb> colours() const { return {m_colours.begin(), m_colours.end()}; }

private:
    std::vector<QRgb> m_colours;
    int m_last = 0;
};

} // namespace

namespace IndexedPicture {

std::optional<QImage> fromPicture(const QImage &picture, QRgb undrawn,
                                  const std::vector<QRgb> &leading)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage indexed(source.size(), QImage::Format_Indexed8);
    ColourTable table(leading);
    for (int y = 0; y < source.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        uchar *to = indexed.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = qAlpha(from[x]) == 0 ? undrawn : from[x];
            const int index = table.indexOf(pixel);
            if (index < 0)
                return std::nullopt;
            to[x] = uchar(index);
        }
    }
    indexed.setColorTable(table.colours());
    return indexed;
}

QImage toPicture(const QImage &indexed)
{
    return indexed.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace IndexedPicture
