#pragma once

#include <QObject>
#include <QPoint>

class MainWindow;
class QLabel;
class QLineEdit;

// The new section picked by three double-clicks on the window: the upper
// left corner of the drawing surface, then the upper left and the lower
// right corner of the wanted section. The third one writes the square
// section into txtX0, txtX1, txtY0, txtY1; it neither draws nor clears.
// The positions and results live in the window's hidden labels, the state
// in zoomOriginSet and zoomCornerSet; lblVergroeßerungText always tells
// what the next double-click does.
class DoubleClickZoom : public QObject
{
    Q_OBJECT

public:
    explicit DoubleClickZoom(MainWindow &window, QObject *parent = nullptr);

    // One double-click at `position`, the client area's logical pixels.
    void takeDoubleClick(QPoint position);

private:
    void takeOrigin(QPoint position);
    void takeUpperLeft(QPoint position);
    void takeLowerRight(QPoint position);
    bool computeSection();
    bool sectionLine(const QLineEdit *lower, const QLineEdit *upper, const QLabel *pixel,
                     const QLabel *originPixel, QLabel *result) const;

    MainWindow &m_window;
};
