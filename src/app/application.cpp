#include "app/application.h"

#include "core/programinfo.h"

#include <QApplication>
#include <QFont>
#include <QList>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <mutex>

void setUpApplication(QApplication &app)
{
    QApplication::setApplicationName(QString::fromUtf8(ProgramName));
    QApplication::setApplicationVersion(QString::fromUtf8(ProgramVersion));
    // Lets the desktop match the window to its menu entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("de.quirlbau.Quirlbau"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    app.setFont(font);
}

namespace {

// A message Qt wrote while the display was being opened. The context's
// strings are Qt's own literals, so their pointers stay valid.
struct HeldMessage
{
    QtMsgType type;
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};

QtMessageHandler qtHandler = nullptr;
QList<HeldMessage> held;
std::mutex heldMutex; // Qt may write from its own threads

void pass(const HeldMessage &m)
{
    qtHandler(m.type, QMessageLogContext(m.file, m.line, m.function, m.category), m.text);
}

bool isMissingDisplay(const QString &text)
{
    return text.contains(QLatin1String("platform plugin"))
        || text.contains(QLatin1String("could not connect to display"));
}

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg && isMissingDisplay(text)) {
        std::fputs("quirlbau: Keine Anzeige zu öffnen (DISPLAY ist nicht gesetzt oder nicht erreichbar); "
                   "ohne Bildschirm: xvfb-run -a quirlbau\n",
                   stderr);
        std::fflush(stderr);
        // Qt would abort right after this handler returns.
        std::_Exit(1);
    }
    const std::lock_guard lock(heldMutex);
    held.append({type, context.file, context.line, context.function, context.category, text});
    if (type == QtFatalMsg) {
        for (const HeldMessage &m : std::as_const(held))
            pass(m);
    }
}

} // namespace

void watchForMissingDisplay()
{
    held.clear();
    qtHandler = qInstallMessageHandler(holdMessage);
}

void displayOpened()
{
    qInstallMessageHandler(qtHandler);
    const std::lock_guard lock(heldMutex);
    for (const HeldMessage &m : std::as_const(held))
        pass(m);
    held.clear();
}
