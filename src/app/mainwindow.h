#pragma once

#include "app/colorref.h"
#include "app/formstate.h"
#include "app/surface.h"
#include "app/windowdesign.h"

#include <QWidget>

class Platform;

// The one window, frmMain: its controls, its shared state and the platform
// operations its handlers draw on.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(Platform &platform, QWidget *parent = nullptr);

    const Controls &controls() const { return m_controls; }
    FormState &state() { return m_state; }
    Platform &platform() { return m_platform; }

    // Sets one point of the drawing surface; showPoints() brings the points
    // set so far to the screen.
    void setPoint(int xTwips, int yTwips, ColorRef color)
    {
        m_surface.setPoint(xTwips, yTwips, qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    }
    void showPoints();

    // Refresh: clears the drawn points and repaints the whole window at once.
    void refresh();

    const QImage &picture() const { return m_surface.image(); }

signals:
    // A double-click on the window's own area (not on a control), in the
    // client area's logical pixels.
    void doubleClicked(QPoint position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void load();
    void setUpSectionAndPalette();

    Platform &m_platform;
    FormState m_state;
    Surface m_surface;
    Controls m_controls;
};
