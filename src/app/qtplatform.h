#pragma once

#include "form/platform.h"

class QtPlatform : public Platform
{
public:
    void doEvents() override;
    void messageBox(QWidget *parent, const QString &title, const QString &text) override;
    std::optional<QColor> chooseColor(QWidget *parent, const QColor &initial) override;
    std::optional<QString> savePictureName(QWidget *parent, const QString &proposedPath) override;
    std::optional<QString> openPictureName(QWidget *parent, const QString &folder) override;
    std::optional<QString> saveFilmName(QWidget *parent, const QString &proposedPath) override;
};
