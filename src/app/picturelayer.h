#pragma once

#include "core/surfacegeometry.h"
#include "form/drawingsurface.h"

#include <QImage>
#include <QWidget>

// The retained picture of the drawing surface, so that points survive any
// repaint the system causes. It lies above the frame lines and the labels
// it overlaps, as points set on the window would, and lets every mouse
// event through to the window beneath.
class PictureLayer : public QWidget, public DrawingSurface
{
    Q_OBJECT

public:
    explicit PictureLayer(QWidget *window);

    void setPoint(QPoint twips, ColorRef color) override
    {
        const QPoint pixel = twipsToPixel(twips.x(), twips.y()) - m_origin;
        if (unsigned(pixel.x()) < unsigned(m_image.width())
            && unsigned(pixel.y()) < unsigned(m_image.height()))
            reinterpret_cast<QRgb *>(m_image.scanLine(pixel.y()))[pixel.x()] = opaqueArgb(color);
    }
    void showPoints() override;
    void clear() override;
    // Undrawn pixels are transparent.
    const QImage &picture() const override { return m_image; }
    void setPicture(const QImage &picture) override;

signals:
    // After clear(): what was drawn is gone.
    void cleared();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPoint m_origin;
    QImage m_image;
};
