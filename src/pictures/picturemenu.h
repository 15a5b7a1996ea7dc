#pragma once

#include <QObject>

class FilmCommand;
class PictureFiles;
class PictureNavigator;
class QAction;
class QPoint;
class QWidget;
struct FormState;

// The pictures' commands: a German context menu for the window's own area
// and the drawing surface, and window-wide shortcuts that leave every key
// of the text fields alone (Ctrl+C/V/X/Z/Y/A stay theirs):
//   "Bild speichern …"  Ctrl+S          "Bild kopieren"  Ctrl+Shift+C
//   "Bild öffnen …"     Ctrl+O          "Zurück" Alt+Left, "Vor" Alt+Right
//   "Zoomfilm speichern …" (no shortcut)
// Open, Back and Forward wait while a run draws, as the presets do; Save
// and Copy take the picture as it stands, the run held while their dialog
// or the menu is open.
class PictureMenu : public QObject
{
    Q_OBJECT

public:
    // The shortcuts act on `window` and whatever in it has the focus.
    PictureMenu(PictureFiles &files, PictureNavigator &navigator, FilmCommand &film, const FormState &state,
                QWidget *window, QObject *parent = nullptr);

    // Opens the menu at `globalPosition` and returns when it closes.
    void popUp(const QPoint &globalPosition);

private:
    QAction *addCommand(const QString &name, const QString &text, const QKeySequence &shortcut);
    void updateAvailability();
    bool mayReplacePicture() const;

    PictureFiles &m_files;
    PictureNavigator &m_navigator;
    const FormState &m_state;
    QWidget *m_window;
    QAction *m_save, *m_copy, *m_film, *m_open, *m_back, *m_forward;
};
