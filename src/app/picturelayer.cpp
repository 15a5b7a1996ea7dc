#include "app/picturelayer.h"

#include <QPainter>

PictureLayer::PictureLayer(QWidget *window)
    : QWidget(window),
      m_origin(SurfaceRect.topLeft()),
      m_image(SurfaceRect.size(), QImage::Format_ARGB32_Premultiplied)
{
    setObjectName(QStringLiteral("pictureLayer"));
    setGeometry(SurfaceRect);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_image.fill(Qt::transparent);
    raise();
}

void PictureLayer::showPoints()
{
    update();
}

void PictureLayer::clear()
{
    m_image.fill(Qt::transparent);
    parentWidget()->repaint();
    emit cleared();
}

void PictureLayer::setPicture(const QImage &picture)
{
    Q_ASSERT(picture.size() == m_image.size());
    m_image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    repaint();
}

void PictureLayer::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}
