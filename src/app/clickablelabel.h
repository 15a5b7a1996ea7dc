#pragma once

#include <QLabel>

// A label with a click event: a press and release of the left button on it.
// A double-click is one click, its first: the release that ends it clicks
// no more. Its double-clicks stay with it, so they never reach the window.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_inDoubleClick = false;
};
