#include "export/filmmaker.h"

#include "core/numbertext.h"
#include "core/workerthreads.h"
#include "export/bandcomputer.h"
#include "export/deepbandcomputer.h"
#include "export/exactview.h"
#include "export/filmrender.h"
#include "export/framesfolder.h"
#include "export/messagetexts.h"
#include "export/targetfile.h"
#include "export/videoencoder.h"

#include <QFileInfo>

#include <limits>
#include <new>
#include <system_error>

namespace {

std::vector<std::uint32_t> rgbOf(const std::array<ColorRef, 8> &palette)
{
    std::vector<std::uint32_t> rgb;
    for (ColorRef ref : palette)
        rgb.push_back(opaqueArgb(ref) & 0xFFFFFF);
    return rgb;
}

// A record of the section, its field texts the edges'.
void setSection(PictureRecord &record, const Section &view)
{
    Drawing &drawing = record.drawing;
    drawing.section = view;
    const double edges[4] = {view.x0, view.x1, view.y0, view.y1};
    for (int e = 0; e < 4; ++e)
        drawing.fieldTexts[size_t(e)] = NumberText::fromNumber(edges[e], QLatin1Char(','));
    drawing.fieldTexts[4] = NumberText::fromWhole(drawing.imax);
}

// A view of a deep film: its texts, or the section's view formed exactly.
std::optional<DeepFilmPath::View> filmView(const std::optional<ViewTexts> &texts, const Section &section, int wide,
                                           int high, FilmPath::Refusal *whyNot)
{
    if (texts)
        return DeepFilmPath::View{*texts, std::nullopt};
    ExactView::Refusal why{};
    if (const auto view = ExactView::viewOfSection(section, wide, high, &why))
        return DeepFilmPath::View{*view, section};
    if (whyNot)
        *whyNot = why == ExactView::Refusal::Mirrored ? FilmPath::Refusal::Mirrored : FilmPath::Refusal::Empty;
    return std::nullopt;
}

std::optional<FilmPath> pathOf(const FilmRequest &request)
{
    if (request.deep)
        return std::nullopt;
    return FilmPath::between(request.start, request.end.drawing.section, request.frames);
}

QString qText(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

std::optional<DeepFilmPath> FilmMaker::deepPathOf(const FilmRequest &request, FilmPath::Refusal *whyNot)
{
    if (!request.deep)
        return std::nullopt;
    const int wide = request.end.size, high = request.end.height;
    const auto start = filmView(request.deep->start, request.start, wide, high, whyNot);
    const auto end = filmView(request.deep->end, request.end.drawing.section, wide, high, whyNot);
    if (!start || !end)
        return std::nullopt;
    return DeepFilmPath::between(*start, *end, request.frames, wide, high, whyNot);
}

bool FilmRequest::toFolder() const
{
    return QFileInfo(target).isDir();
}

FilmMaker::FilmMaker(const FilmRequest &request)
    : m_request(request),
      m_path(pathOf(request)),
      m_deepPath(deepPathOf(request))
{
}

FilmMaker::~FilmMaker() = default;

FilmMaker::Frame FilmMaker::frame(int k) const
{
    Frame frame{m_request.end, std::nullopt};
    PictureRecord &record = frame.record;
    record.complete = true;
    record.firstRow = 0;
    record.lastRow = -1;
    if (m_path) {
        setSection(record, m_path->frame(k));
        return frame;
    }
    const DeepFilmPath::View view = m_deepPath->frame(k);
    const std::int64_t imax = m_request.deep->imax;
    const bool imaxFits = imax <= std::numeric_limits<std::int16_t>::max();
    if (imaxFits)
        record.drawing.imax = std::int16_t(imax);
    if (view.section && imaxFits) {
        setSection(record, *view.section);
        return frame;
    }
    DeepRequest deep;
    deep.re = qText(view.texts.re);
    deep.im = qText(view.texts.im);
    deep.width = qText(view.texts.width);
    deep.imax = imax;
    deep.record = record;
    DeepOptions::settle(deep);
    const auto deepView = DeepView::make(view.texts.re, view.texts.im, view.texts.width, record.size, record.height);
    if (imaxFits && !deepView->needsDeep()) {
        setSection(record, deep.record.drawing.section);
        return frame;
    }
    frame.deep = deep;
    return frame;
}

std::unique_ptr<FrameComputer> FilmMaker::computer(int k) const
{
    const Frame shown = frame(k);
    const PictureRecord &record = shown.record;
    if (!shown.deep)
        return std::make_unique<BandComputer>(PosterFrame{record.drawing, record.size, record.height, record.cycle});
    const DeepRequest &deep = *shown.deep;
    const auto view = DeepView::make(deep.re.toStdString(), deep.im.toStdString(), deep.width.toStdString(),
                                     record.size, record.height);
    return std::make_unique<DeepBandComputer>(*view, deep.imax, record.cycle);
}

PictureTexts FilmMaker::frameTexts(int k) const
{
    const Frame shown = frame(k);
    PictureTexts texts = shown.deep ? DeepOptions::texts(*shown.deep) : pictureTexts(shown.record);
    texts.emplace_back("Frame", QByteArray::number(k));
    return texts;
}

int FilmMaker::deepFrames() const
{
    int deep = 0;
    for (int k = m_request.firstFrame; m_deepPath && k <= m_request.lastFrame; ++k)
        deep += frame(k).deep ? 1 : 0;
    return deep;
}

bool FilmMaker::run()
{
    bool made = false;
    // Threads and memory that cannot be had end the film with a reason; the
    // target file, unwound, leaves nothing behind.
    try {
        made = m_request.toFolder() ? toFolder() : toVideo();
    } catch (const std::bad_alloc &) {
        m_error = u"Nicht genug Arbeitsspeicher für diesen Film."_qs;
        return false;
    } catch (const std::system_error &error) {
        m_error = germanErrorText(error.code().value()) + u'.';
        return false;
    }
    if (!made && m_cancelled)
        m_error = u"Abgebrochen."_qs;
    return made && !m_cancelled;
}

void FilmMaker::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    if (m_render)
        m_render->cancel();
    if (m_encoder)
        m_encoder->kill();
}

bool FilmMaker::renderFrames(FrameSink &sink)
{
    FilmRender render([this](int k) { return computer(k); }, m_request.firstFrame, m_request.lastFrame,
                      m_request.end.size, m_request.end.height);
    if (m_threads > 0)
        render.setThreads(m_threads);
    // A deep frame's reference orbit takes up to 64 MB: the workers go no
    // further ahead than one frame each, and the one being written.
    if (m_deepPath)
        render.setFramesAhead((m_threads > 0 ? m_threads : workerCount()) + 1);
    render.setProgress(m_progress);
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled)
            return false;
        m_render = &render;
    }
    const bool rendered = render.run(sink);
    std::lock_guard lock(m_mutex);
    m_render = nullptr;
    return rendered;
}

bool FilmMaker::toFolder()
{
    FramesFolder folder(m_request.target, m_request.end.size, m_request.end.height, rgbOf(m_request.end.drawing.palette),
                        [this](int k) { return frameTexts(k); });
    const bool made = folder.open() && renderFrames(folder) && folder.commit();
    if (!made)
        m_error = folder.error();
    return made;
}

bool FilmMaker::toVideo()
{
    TargetFile target(m_request.target,
                      m_signalCleanup ? TargetFile::SignalCleanup::On : TargetFile::SignalCleanup::Off);
    if (!target.open()) {
        m_error = target.error();
        return false;
    }
    VideoEncoder encoder(m_request.end.size, m_request.end.height, m_request.fps, rgbOf(m_request.end.drawing.palette));
    if (!encoder.start(target.descriptor())) {
        m_error = encoder.error();
        return false;
    }
    {
        std::lock_guard lock(m_mutex);
        m_encoder = &encoder;
    }
    const bool rendered = renderFrames(encoder);
    const bool encoded = encoder.finish();
    {
        std::lock_guard lock(m_mutex);
        m_encoder = nullptr;
    }
    m_encoderSeconds = encoder.encoderSeconds();
    const bool made = rendered && encoded && !m_cancelled && target.commit();
    if (!made)
        m_error = !target.error().isEmpty() ? target.error()
                  : !encoder.error().isEmpty() ? u"„%1“: %2"_qs.arg(m_request.target, encoder.error())
                                               : u"„%1“ ließ sich nicht fertig schreiben."_qs.arg(m_request.target);
    return made;
}
