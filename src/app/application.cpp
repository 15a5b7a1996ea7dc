#include "app/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <string>

void setUpApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Quirlbau"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2").arg(QUIRLBAU_VERSION_MAJOR).arg(QUIRLBAU_VERSION_MINOR));
    // Lets the desktop match the window to its menu entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("de.quirlbau.Quirlbau"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    app.setFont(font);
}

namespace {

bool envSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// ":N" or ":N.S" on this machine has a socket; anything else we let Qt try.
bool localDisplayReachable(const std::string &display)
{
    if (display.size() < 2 || display[0] != ':')
        return true;
    const std::string number = display.substr(1, display.find('.') - 1);
    return QFileInfo::exists(QString::fromStdString("/tmp/.X11-unix/X" + number));
}

} // namespace

bool displayAvailable()
{
    if (envSet("QT_QPA_PLATFORM") || envSet("WAYLAND_DISPLAY"))
        return true;
    if (envSet("DISPLAY") && localDisplayReachable(std::getenv("DISPLAY")))
        return true;
    std::fputs("quirlbau: no display to open (DISPLAY is not set or not reachable); "
               "to run without a screen: xvfb-run -a quirlbau\n",
               stderr);
    return false;
}
