// Makes the README's picture: the real window with the real platform
// layer, drawn offscreen, after a complete run of the start section.
//
//   quirlbau-screenshot OUT.png
//
// The counters are grouped as under German settings, for which the program
// is made. Exit status 0 when the run completed and OUT.png was written;
// 1 when not; 2 on bad arguments.

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/qtplatform.h"
#include "form/pausecaptions.h"
#include "render/renderrun.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int RunPoints = 462 * 462;

bool runCompleted(MainWindow &window)
{
    const Controls &c = window.controls();
    return window.state().pixelCount == RunPoints && c.btStop->text() == PauseCaption
           && c.cbStart->isEnabled();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fputs("usage: quirlbau-screenshot OUT.png\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setUpApplication(app);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    QtPlatform platform;
    MainWindow window(platform);
    window.show();
    int status = 1;
    QTimer::singleShot(0, &window, [&] {
        // The run is cbStart's click handler: the click returns when it ends.
        QTest::mouseClick(window.controls().cbStart, Qt::LeftButton);
        if (!runCompleted(window))
            std::fputs("quirlbau-screenshot: the run did not complete\n", stderr);
        else if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG"))
            std::fprintf(stderr, "quirlbau-screenshot: cannot write %s\n", argv[1]);
        else
            status = 0;
        app.quit();
    });
    app.exec();
    return status;
}
