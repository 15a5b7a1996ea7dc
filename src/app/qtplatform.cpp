#include "app/qtplatform.h"

#include <QColorDialog>
#include <QCoreApplication>
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
    const QColor chosen = QColorDialog::getColor(initial, parent);
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}
