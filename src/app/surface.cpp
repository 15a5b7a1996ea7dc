#include "app/surface.h"

#include "app/twips.h"

Surface::Surface()
    : m_origin(twipsToPixel(LeftTwips, TopTwips)),
      m_image(SidePixels, SidePixels, QImage::Format_ARGB32_Premultiplied)
{
    clear();
}

void Surface::clear()
{
    m_image.fill(Qt::transparent);
}
