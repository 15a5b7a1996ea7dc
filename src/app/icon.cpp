#include "app/icon.h"

#include "core/standardcolors.h"
#include "core/escapetime.h"
#include "core/swatchtable.h"

namespace {

// The whole set, a little left of centre, deep enough for clear bands.
constexpr double Left = -2.15;
constexpr double Top = -1.5;
constexpr double Span = 3.0;
constexpr std::int16_t Limit = 300;

} // namespace

QImage mandelbrotIcon(int side)
{
    QImage icon(side, side, QImage::Format_Indexed8);
    QList<QRgb> colors;
    for (ColorRef ref : StandardColors)
        colors.append(opaqueArgb(ref));
    icon.setColorTable(colors);
    for (int row = 0; row < side; ++row) {
        uchar *line = icon.scanLine(row);
        const double cy = Top + Span * (row + 0.5) / side;
        for (int column = 0; column < side; ++column) {
            const double cx = Left + Span * (column + 0.5) / side;
            line[column] = uchar(swatchForCount(punkt_iteration(cx, cy, EscapeBound, Limit)));
        }
    }
    return icon;
}
