#include "export/progressline.h"

#include "core/numbertext.h"

#include <QString>

#include <cmath>
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

ProgressLine::ProgressLine(bool enabled, Unit unit)
    : m_enabled(enabled),
      m_unit(unit),
      m_start(Clock::now())
{
}

bool ProgressLine::stderrIsTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

void ProgressLine::update(int done, int total)
{
    const Clock::time_point now = Clock::now();
    if (!m_enabled || (done < total && m_written && now - m_lastShown < RedrawInterval))
        return;
    m_lastShown = now;
    m_written = true;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const double left = done > 0 ? elapsed * (total - done) / done : 0.0;
    const QString doneText = NumberText::grouped(done, u".");
    const QString totalText = NumberText::grouped(total, u".");
    const QString counted =
        m_unit == Unit::Rows
            ? QStringLiteral("Zeile %1 von %2 – %3 vergangen").arg(doneText, totalText, clockText(elapsed))
            : QStringLiteral("Bild %1 von %2 – %3 Bilder/s")
                  .arg(doneText, totalText,
                       NumberText::fromNumber(std::round((elapsed > 0 ? done / elapsed : 0.0) * 10) / 10,
                                              QLatin1Char(',')));
    const QString line = QStringLiteral("\r%1 % – %2 – noch %3 ")
                             .arg(100 * std::int64_t(done) / total, 3)
                             .arg(counted, clockText(left));
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void ProgressLine::finish()
{
    if (m_written)
        std::fputs("\n", stderr);
    m_written = false;
}
