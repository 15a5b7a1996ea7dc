#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    watchForMissingDisplay();
    QApplication app(argc, argv);
    displayOpened();
    setUpApplication(app);

    QtPlatform platform;
    MainWindow window(platform);
    window.show();
    return app.exec();
}
