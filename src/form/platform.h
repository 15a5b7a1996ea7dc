#pragma once

#include <QColor>
#include <QString>

#include <optional>

class QWidget;

// The few platform services that handlers call from inside their own code.
// Behind an interface so that tests can answer modal dialogs at once.
class Platform
{
public:
    virtual ~Platform() = default;

    // Lets pending window events run, from inside a handler.
    virtual void doEvents() = 0;

    // A modal message box with an OK button only and no icon.
    virtual void messageBox(QWidget *parent, const QString &title, const QString &text) = 0;

    // The modal colour chooser, opened at `initial`; nullopt when cancelled.
    virtual std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) = 0;

    // The modal file dialogs for pictures: the path chosen, nullopt when
    // cancelled. Save proposes `proposedPath`; Open starts in `folder`.
    virtual std::optional<QString> savePictureName(QWidget *parent, const QString &proposedPath) = 0;
    virtual std::optional<QString> openPictureName(QWidget *parent, const QString &folder) = 0;
    // The modal file dialog for a zoom film (MP4), proposing `proposedPath`.
    virtual std::optional<QString> saveFilmName(QWidget *parent, const QString &proposedPath) = 0;
};
