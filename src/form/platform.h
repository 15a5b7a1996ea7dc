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
};
