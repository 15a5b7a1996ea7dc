#include "export/filmprogress.h"

#include "core/numbertext.h"

#include <QString>

#include <cmath>
#include <cstdio>

namespace {

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

FilmProgress::FilmProgress(bool enabled)
    : m_enabled(enabled),
      m_start(Clock::now())
{
}

void FilmProgress::update(int framesDone, int framesTotal)
{
    const Clock::time_point now = Clock::now();
    if (!m_enabled || (framesDone < framesTotal && m_written && now - m_lastShown < RedrawInterval))
        return;
    m_lastShown = now;
    m_written = true;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const double rate = elapsed > 0 ? framesDone / elapsed : 0.0;
    const double left = framesDone > 0 ? elapsed * (framesTotal - framesDone) / framesDone : 0.0;
    const QString line = QStringLiteral("\r%1 % – Bild %2 von %3 – %4 Bilder/s – noch %5 ")
                             .arg(100 * std::int64_t(framesDone) / framesTotal, 3)
                             .arg(NumberText::grouped(framesDone, u"."), NumberText::grouped(framesTotal, u"."),
                                  NumberText::fromNumber(std::round(rate * 10) / 10, QLatin1Char(',')),
                                  clockText(left));
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void FilmProgress::finish()
{
    if (m_written)
        std::fputs("\n", stderr);
    m_written = false;
}
