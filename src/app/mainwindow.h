#pragma once

#include "app/windowdesign.h"
#include "form/drawingsurface.h"
#include "form/formstate.h"

#include <QWidget>

class PictureFiles;
class PictureLayer;
class Platform;
class RenderRun;

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

    // Opens a picture file as "Bild öffnen …" does; false after a message box.
    bool openPicture(const QString &path);
    bool openPicture(const QByteArray &name);

signals:
    // A double-click on the window's own area (not on a control), in the
    // client area's logical pixels.
    void doubleClicked(QPoint position);
    // A right click (or the menu key) on the window's own area, on the screen.
    void contextMenuAsked(QPoint globalPosition);

protected:
    void closeEvent(QCloseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    RenderRun *setUpRenderRun();
    void setUpSectionAndPalette();
    void setUpPictures(RenderRun &renderRun);
    void load();

    Platform &m_platform;
    FormState m_state;
    Controls m_controls;
    PictureLayer *m_pictureLayer = nullptr;
    PictureFiles *m_pictureFiles = nullptr;
};
