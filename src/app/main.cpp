#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"
#include "export/exportcommand.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (exportRequested(argc, argv))
        return runExport(argc, argv);
    if (!displayAvailable())
        return 1;
    QApplication app(argc, argv);
    setUpApplication(app);

    QtPlatform platform;
    MainWindow window(platform);
    window.show();
    return app.exec();
}
