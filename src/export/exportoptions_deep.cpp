#include "export/exportoptions.h"

#include "core/drawing.h"
#include "core/surfacegeometry.h"
#include "deep/deepview.h"
#include "export/exactview.h"

// The views by centre and width: --re, --im, --width or --from a deep
// picture, and sections too deep for doubles; as stills and as films.

// A view by its centre and width takes none of the section's options.
bool ExportOptions::readDeep()
{
    for (const QCommandLineOption *option : {&m_x0, &m_x1, &m_y0, &m_y1, &m_rows, &m_stretch}) {
        if (m_parser.isSet(*option))
            return refuse(*option, u"nicht zusammen mit --re, --im, --width."_qs);
    }
    DeepRequest deep;
    const auto filmSize = m_filmRequested && !m_parser.isSet(m_size)
                              ? std::optional(std::pair{VideoOptions::DefaultWidth, VideoOptions::DefaultHeight})
                              : std::nullopt;
    if (!m_deep.read(m_parser, {m_size, m_imax, m_cycle, filmSize}, m_savedDeep, deep, &m_error))
        return false;
    return takeDeep(deep);
}

// A still, or the end view of a film.
bool ExportOptions::takeDeep(const DeepRequest &deep)
{
    m_request.record = deep.record;
    if (!m_filmRequested) {
        m_request.deep = deep;
        return true;
    }
    FilmRequest film;
    film.quiet = m_request.quiet;
    film.deep = FilmRequest::Deep{
        std::nullopt, ViewTexts{deep.re.toStdString(), deep.im.toStdString(), deep.width.toStdString()}, deep.imax};
    if (!m_film.read(m_parser, deep.record, film, &m_error))
        return false;
    m_request.film = film;
    return true;
}

// The corners as texts: each from its option, else exactly the double of
// --from's picture, else the window's start field.
void ExportOptions::deepCorners(std::string (&corners)[4]) const
{
    const QCommandLineOption *options[4] = {&m_x0, &m_x1, &m_y0, &m_y1};
    const Section *saved = m_saved ? &m_saved->drawing.section : nullptr;
    const double savedEdges[4] = {saved ? saved->x0 : 0, saved ? saved->x1 : 0, saved ? saved->y0 : 0,
                                  saved ? saved->y1 : 0};
    for (int k = 0; k < 4; ++k) {
        if (m_parser.isSet(*options[k]))
            corners[k] = m_parser.value(*options[k]).toStdString();
        else if (saved)
            corners[k] = ExactView::exactText(savedEdges[k]);
        else
            corners[k] = StartFieldTexts[k];
    }
}

// A section too deep for doubles, once widened to the picture's shape, is
// drawn as the view of its exact centre and width (--re, --im, --width);
// any other stays with the section's own reading, as it always was.
bool ExportOptions::readDeepSection(bool *taken)
{
    std::string corners[4];
    deepCorners(corners);
    std::optional<std::pair<int, int>> size;
    if (m_parser.isSet(m_size))
        size = sizeOf(m_parser.value(m_size));
    else if (m_filmRequested)
        size = std::pair{VideoOptions::DefaultWidth, VideoOptions::DefaultHeight};
    const int wide = size ? size->first : SurfacePixels, high = size ? size->second : SurfacePixels;
    if (m_parser.isSet(m_size) && !size)
        return true;
    bool mirrored = false;
    const auto view = ExactView::viewOfCorners(corners, wide, high, nullptr, &mirrored);
    if (!view)
        return true;
    const auto deepView = DeepView::make(view->re, view->im, view->width, wide, high);
    if (!deepView || !deepView->needsDeep())
        return true;
    *taken = true;
    if (mirrored)
        return refuse(blamed(m_x0, m_x1), u"Ein gespiegelter Ausschnitt, der für doppelte Genauigkeit zu tief ist, "
                                          u"lässt sich nicht zeichnen."_qs);
    if (m_parser.isSet(m_stretch))
        return refuse(m_stretch, u"nicht bei einem Ausschnitt, der für doppelte Genauigkeit zu tief ist."_qs);
    if (m_parser.isSet(m_rows))
        return refuse(m_rows, u"nicht bei einem Ausschnitt, der für doppelte Genauigkeit zu tief ist."_qs);
    if (!size)
        return refuse(m_size, u"fehlt; ein Ausschnitt, der für doppelte Genauigkeit zu tief ist, braucht B × H."_qs);
    DeepRequest base;
    if (m_saved) {
        base.record = *m_saved;
        base.imax = m_saved->drawing.imax;
    } else {
        base.record = m_request.record;
    }
    base.record.size = wide;
    base.record.height = high;
    base.record.firstRow = 0;
    base.record.lastRow = -1;
    base.re = QString::fromStdString(view->re);
    base.im = QString::fromStdString(view->im);
    base.width = QString::fromStdString(view->width);
    DeepRequest deep;
    if (!m_deep.read(m_parser, {m_size, m_imax, m_cycle}, base, deep, &m_error))
        return false;
    if (deep.imax < 1)
        return refuse(m_imax, u"„%1“ ist keine Zahl zwischen 1 und %2."_qs.arg(deep.imax).arg(DeepImaxMax));
    return takeDeep(deep);
}
