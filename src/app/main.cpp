#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"
#include "core/germantranslations.h"
#include "export/exportcommand.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    if (exportRequested(argc, argv))
        return runExport(argc, argv);
    // The picture's name as the system gave it: any bytes, UTF-8 or not.
    const QByteArray pictureName = argc == 2 ? QByteArray(argv[1]) : QByteArray();
    watchForMissingDisplay();
    QApplication app(argc, argv);
    displayOpened();
    // Before any Qt text exists: dialogs, buttons and context menus in German.
    installGermanTranslations(app);
    setUpApplication(app);

    QtPlatform platform;
    MainWindow window(platform);
    window.show();
    // quirlbau FILE.png: the picture is opened once the window is up, so a
    // message about a bad file has the window behind it.
    if (!pictureName.isEmpty())
        QTimer::singleShot(0, &window, [&window, &pictureName] { window.openPicture(pictureName); });
    return app.exec();
}
