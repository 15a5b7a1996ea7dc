#include "export/filmmaker.h"

#include "core/numbertext.h"
#include "export/filmrender.h"
#include "export/framesfolder.h"
#include "export/messagetexts.h"
#include "export/targetfile.h"
#include "export/videoencoder.h"

#include <QFileInfo>

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

} // namespace

bool FilmRequest::toFolder() const
{
    return QFileInfo(target).isDir();
}

FilmMaker::FilmMaker(const FilmRequest &request)
    : m_request(request),
      m_path(*FilmPath::between(request.start, request.end.drawing.section, request.frames))
{
}

FilmMaker::~FilmMaker() = default;

PosterFrame FilmMaker::frame(int k) const
{
    const PictureRecord &end = m_request.end;
    Drawing drawing = end.drawing;
    drawing.section = m_path.frame(k);
    return {drawing, end.size, end.height, end.cycle};
}

PictureRecord FilmMaker::frameRecord(int k) const
{
    PictureRecord record = m_request.end;
    const Section view = m_path.frame(k);
    Drawing &drawing = record.drawing;
    drawing.section = view;
    const double edges[4] = {view.x0, view.x1, view.y0, view.y1};
    for (int e = 0; e < 4; ++e)
        drawing.fieldTexts[size_t(e)] = NumberText::fromNumber(edges[e], QLatin1Char(','));
    drawing.fieldTexts[4] = NumberText::fromWhole(drawing.imax);
    record.complete = true;
    record.firstRow = 0;
    record.lastRow = -1;
    return record;
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
    FilmRender render([this](int k) { return frame(k); }, m_request.firstFrame, m_request.lastFrame,
                      m_request.end.size, m_request.end.height);
    if (m_threads > 0)
        render.setThreads(m_threads);
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
                        [this](int k) {
                            PictureTexts texts = pictureTexts(frameRecord(k));
                            texts.emplace_back("Frame", QByteArray::number(k));
                            return texts;
                        });
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
