#pragma once

#include "form/platform.h"

#include <QCoreApplication>
#include <QStringList>

#include <functional>

// Answers modal dialogs at once and records what was asked, so tests never
// block on a box a person would have to close.
class FakePlatform : public Platform
{
public:
    void doEvents() override
    {
        ++doEventsCalls;
        // A copy, so that a hook may clear or replace itself.
        if (const std::function<void()> hook = onDoEvents)
            hook();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    void messageBox(QWidget *, const QString &title, const QString &text) override
    {
        messages.append(title + QLatin1Char('|') + text);
    }

    std::optional<QColor> chooseColor(QWidget *, const QColor &initial) override
    {
        colorDialogInitials.append(initial);
        return colorAnswer;
    }

    std::optional<QString> savePictureName(QWidget *, const QString &proposedPath) override
    {
        proposedPaths.append(proposedPath);
        return fileAnswer;
    }

    std::optional<QString> openPictureName(QWidget *, const QString &) override
    {
        return fileAnswer;
    }

    std::optional<QString> saveFilmName(QWidget *, const QString &proposedPath) override
    {
        proposedPaths.append(proposedPath);
        return fileAnswer;
    }

    int doEventsCalls = 0;
    std::function<void()> onDoEvents;
    QStringList messages;
    QList<QColor> colorDialogInitials;
    std::optional<QColor> colorAnswer; // nullopt: the user cancels
    QStringList proposedPaths;
    std::optional<QString> fileAnswer; // nullopt: the user cancels
};
