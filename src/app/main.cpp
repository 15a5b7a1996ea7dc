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
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 2 && !arguments[1].startsWith(QLatin1Char('-')))
        QTimer::singleShot(0, &window, [&window, path = arguments[1]] { window.openPicture(path); });
    return app.exec();
}
