#include "export/progressline.h"

#include "core/numbertext.h"

#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

// Redrawing more often only costs time; the eye sees no difference.
constexpr auto RedrawInterval = std::chrono::milliseconds(200);

QString clockText(double seconds)
{
    const long whole = long(seconds + 0.5);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressLine::ProgressLine(bool enabled)
    : m_enabled(enabled),
      m_start(Clock::now())
{
}

bool ProgressLine::stderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void ProgressLine::update(int rowsDone, int rowsTotal)
{
    const Clock::time_point now = Clock::now();
    if (!m_enabled || (rowsDone < rowsTotal && m_written && now - m_lastShown < RedrawInterval))
        return;
    m_lastShown = now;
    m_written = true;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const double left = rowsDone > 0 ? elapsed * (rowsTotal - rowsDone) / rowsDone : 0.0;
    const QString line = QStringLiteral("\r%1 % – Zeile %2 von %3 – %4 vergangen – noch %5 ")
                             .arg(100 * std::int64_t(rowsDone) / rowsTotal, 3)
                             .arg(NumberText::grouped(rowsDone, u"."), NumberText::grouped(rowsTotal, u"."),
                                  clockText(elapsed), clockText(left));
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (m_written)
        std::fputs("\n", stderr);
    m_written = false;
}
