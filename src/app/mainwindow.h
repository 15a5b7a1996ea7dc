#pragma once

#include "app/windowdesign.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"

#include <QWidget>

class PictureLayer;
class Platform;

// The one window, frmMain: it builds its controls from the design, creates
// the handlers, gives each what it uses and wires them to their events.
class MainWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindow(Platform &platform, QWidget *parent = nullptr);

    const Controls &controls() const { return m_controls; }
    FormState &state() { return m_state; }
    Platform &platform() { return m_platform; }
    DrawingSurface &surface();

    // The drawing surface's 400 × 400 pixels; undrawn ones are transparent.
    const QImage &picture() const;

signals:
    // A double-click on the window's own area (not on a control), in the
    // client area's logical pixels.
    void doubleClicked(QPoint position);

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void setUpRenderRun();
    void setUpSectionAndPalette();
    void load();

    Platform &m_platform;
    FormState m_state;
    Controls m_controls;
    PictureLayer *m_pictureLayer = nullptr;
};
