#include "app/qtplatform.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

void QtPlatform::doEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPlatform::messageBox(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

std::optional<QColor> QtPlatform::chooseColor(QWidget *parent, const QColor &initial)
{
    // Qt's own dialog speaks the program's German; a desktop's native one
    // would follow the system language.
    const QColor chosen = QColorDialog::getColor(initial, parent, QString(),
                                                 QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

namespace {

const QString PictureFilter = QStringLiteral("PNG-Bilder (*.png)");

std::optional<QString> chosenPath(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace

std::optional<QString> QtPlatform::savePictureName(QWidget *parent, const QString &proposedPath)
{
    return chosenPath(QFileDialog::getSaveFileName(parent, QStringLiteral("Bild speichern"),
                                                   proposedPath, PictureFilter, nullptr,
                                                   QFileDialog::DontUseNativeDialog));
}

std::optional<QString> QtPlatform::saveFilmName(QWidget *parent, const QString &proposedPath)
{
    std::optional<QString> path = chosenPath(QFileDialog::getSaveFileName(
        parent, QStringLiteral("Zoomfilm speichern"), proposedPath, QStringLiteral("MP4-Filme (*.mp4)"), nullptr,
        QFileDialog::DontUseNativeDialog));
    if (path && !path->endsWith(QStringLiteral(".mp4"), Qt::CaseInsensitive))
        path->append(QStringLiteral(".mp4"));
    return path;
}

std::optional<QString> QtPlatform::openPictureName(QWidget *parent, const QString &folder)
{
    return chosenPath(QFileDialog::getOpenFileName(parent, QStringLiteral("Bild öffnen"), folder,
                                                   PictureFilter, nullptr,
                                                   QFileDialog::DontUseNativeDialog));
}
