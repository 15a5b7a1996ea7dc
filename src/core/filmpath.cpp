#include "core/filmpath.h"

#include <algorithm>
#include <cmath>

namespace {

// The edge of frame k on one axis. The weight of the start view is
// w = (r^t − r) / (1 − r), 1 at the start and 0 at the end; the edge is
// taken from the smaller of the two views, so that a deep view keeps all of
// its digits and the frames near it do not jitter.
double edge(double startEdge, double endEdge, double ratio, double t)
{
    if (ratio == 1)
        return startEdge; // both views are the same, or the path was refused
    const double scale = std::pow(ratio, t);
    const double startWeight = (scale - ratio) / (1 - ratio);
    if (ratio < 1)
        return endEdge + startWeight * (startEdge - endEdge);
    return startEdge + (1 - startWeight) * (endEdge - startEdge);
}

double fixedPoint(double startEdge, double endEdge, double ratio)
{
    return (endEdge - ratio * startEdge) / (1 - ratio);
}

} // namespace

std::optional<FilmPath> FilmPath::between(const Section &start, const Section &end, int frames, Refusal *whyNot)
{
    const double ratioX = (end.x1 - end.x0) / (start.x1 - start.x0);
    const double ratioY = (end.y1 - end.y0) / (start.y1 - start.y0);
    std::optional<Refusal> refusal;
    if (start.x0 == start.x1 || start.y0 == start.y1 || end.x0 == end.x1 || end.y0 == end.y1
        || !std::isfinite(ratioX) || !std::isfinite(ratioY))
        refusal = Refusal::Empty;
    else if (ratioX < 0 || ratioY < 0)
        refusal = Refusal::Mirrored;
    else if ((ratioX == 1 || ratioY == 1)
             && (start.x0 != end.x0 || start.x1 != end.x1 || start.y0 != end.y0 || start.y1 != end.y1))
        refusal = Refusal::NoZoom;
    if (refusal) {
        if (whyNot)
            *whyNot = *refusal;
        return std::nullopt;
    }
    return FilmPath(start, end, std::max(frames, 2), ratioX, ratioY);
}

FilmPath::FilmPath(const Section &start, const Section &end, int frames, double ratioX, double ratioY)
    : m_start(start),
      m_end(end),
      m_frames(frames),
      m_ratioX(ratioX),
      m_ratioY(ratioY)
{
}

Section FilmPath::frame(int k) const
{
    if (k <= 0)
        return m_start;
    if (k >= m_frames - 1)
        return m_end;
    const double t = double(k) / double(m_frames - 1);
    return {edge(m_start.x0, m_end.x0, m_ratioX, t), edge(m_start.x1, m_end.x1, m_ratioX, t),
            edge(m_start.y0, m_end.y0, m_ratioY, t), edge(m_start.y1, m_end.y1, m_ratioY, t)};
}

double FilmPath::stepX() const
{
    return std::pow(m_ratioX, 1.0 / double(m_frames - 1));
}

double FilmPath::stepY() const
{
    return std::pow(m_ratioY, 1.0 / double(m_frames - 1));
}

double FilmPath::fixedX() const
{
    return fixedPoint(m_start.x0, m_end.x0, m_ratioX);
}

double FilmPath::fixedY() const
{
    return fixedPoint(m_start.y0, m_end.y0, m_ratioY);
}
