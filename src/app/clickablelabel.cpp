#include "app/clickablelabel.h"

#include <QMouseEvent>

void ClickableLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickableLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
}
