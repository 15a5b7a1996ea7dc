#include "export/exportcommand.h"

#include "export/deeprender.h"
#include "export/exportoptions.h"
#include "export/filmmaker.h"
#include "export/messagetexts.h"
#include "export/posterrender.h"
#include "export/progressline.h"
#include "export/targetfile.h"
#include "export/windowpicture.h"
#include "core/germantranslations.h"
#include "core/programinfo.h"
#include "core/surfacegeometry.h"
#include "core/workerthreads.h"
#include "picturefile/pngbandwriter.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

namespace {

// Fast compression: the writer then keeps pace with the workers, and a
// Mandelbrot picture's long runs of one colour still shrink well.
constexpr int CompressionLevel = 1;

void printLine(std::FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stream);
}

std::vector<std::uint32_t> rgbOf(const Palette &palette)
{
    std::vector<std::uint32_t> rgb;
    for (ColorRef ref : palette)
        rgb.push_back(opaqueArgb(ref) & 0xFFFFFF);
    return rgb;
}

// Rows into the writer: the window's picture at once, an N × N one in bands.
bool renderInto(PngBandWriter &writer, const PictureRecord &record, ProgressLine &progress)
{
    if (record.size == 0) {
        const auto pixels =
            windowPicture(record.drawing.section, record.drawing.imax, workerCount(), record.cycle);
        const bool written = writer.writeRows(pixels.data(), SurfacePixels);
        progress.update(SurfacePixels, SurfacePixels);
        return written;
    }
    PosterRender render({record.drawing, record.size, record.height, record.cycle}, record.firstRow,
                        record.lastRow < 0 ? record.height - 1 : record.lastRow);
    render.setProgress([&](int done, int total) { progress.update(done, total); });
    return render.run(writer);
}

// The target's reason if it failed, else the writer's.
int refused(const ExportRequest &request, const TargetFile &target, const PngBandWriter &writer)
{
    const QString reason = target.error().isEmpty() ? u"„%1“: %2"_qs.arg(shownName(request.target), writer.error())
                                                    : target.error();
    printLine(stderr, u"quirlbau: "_qs + reason);
    return 1;
}

int render(const ExportRequest &request)
{
    PictureRecord record = request.record;
    record.complete = true;
    const int width = record.size == 0 ? SurfacePixels : record.size;
    const int height = record.size == 0 ? SurfacePixels
                       : record.lastRow < 0 ? record.height
                                            : record.lastRow - record.firstRow + 1;
    TargetFile target(request.target);
    if (!target.open()) {
        printLine(stderr, u"quirlbau: "_qs + target.error());
        return 1;
    }
    PngBandWriter writer([&](const char *data, std::size_t size) { return target.write(data, size); }, width,
                         height, rgbOf(record.drawing.palette), pictureTexts(record), CompressionLevel);
    ProgressLine progress(!request.quiet && ProgressLine::stderrIsTerminal());
    const bool written = renderInto(writer, record, progress) && writer.finish() && target.commit();
    progress.finish();
    return written ? 0 : refused(request, target, writer);
}

// A view by centre and width: the first line on a terminal says whether the
// deep kernel runs or doubles still hold the view.
int renderDeep(const ExportRequest &request)
{
    const DeepRequest &deep = *request.deep;
    DeepRender render(deep);
    const bool shown = !request.quiet && ProgressLine::stderrIsTerminal();
    if (shown)
        printLine(stderr, render.deep() ? u"quirlbau: Tiefenrechnung (Störungsrechnung um eine Referenzbahn)."_qs
                                        : u"quirlbau: Doppelte Genauigkeit genügt für diesen Ausschnitt."_qs);
    TargetFile target(request.target);
    if (!target.open()) {
        printLine(stderr, u"quirlbau: "_qs + target.error());
        return 1;
    }
    PngBandWriter writer([&](const char *data, std::size_t size) { return target.write(data, size); },
                         deep.record.size, deep.record.height, rgbOf(deep.record.drawing.palette),
                         DeepOptions::texts(deep), CompressionLevel);
    ProgressLine progress(shown);
    render.setProgress([&](int done, int total) { progress.update(done, total); });
    const bool written = render.run(writer) && writer.finish() && target.commit();
    progress.finish();
    return written ? 0 : refused(request, target, writer);
}

int makeFilm(const FilmRequest &request)
{
    FilmMaker maker(request);
    const bool shown = !request.quiet && ProgressLine::stderrIsTerminal();
    if (shown && request.deep) {
        const int frames = request.lastFrame - request.firstFrame + 1;
        printLine(stderr, u"quirlbau: %1 von %2 Bildern mit der Tiefenrechnung (Störungsrechnung um eine "
                          u"Referenzbahn je Bild), die übrigen in doppelter Genauigkeit."_qs.arg(maker.deepFrames())
                              .arg(frames));
    }
    ProgressLine progress(shown, ProgressLine::Unit::Frames);
    maker.setProgress([&](int done, int total) { progress.update(done, total); });
    const bool made = maker.run();
    progress.finish();
    if (!made) {
        printLine(stderr, u"quirlbau: "_qs + maker.error());
        return 1;
    }
    return 0;
}

// Threads and memory that cannot be had end the export with one line; the
// target file, unwound, leaves nothing behind.
int renderOrRefuse(const ExportRequest &request)
{
    try {
        return request.deep ? renderDeep(request) : render(request);
    } catch (const std::bad_alloc &) {
        printLine(stderr, u"quirlbau: „%1“: Nicht genug Arbeitsspeicher für dieses Bild."_qs.arg(shownName(request.target)));
    } catch (const std::system_error &error) {
        printLine(stderr, u"quirlbau: „%1“: %2."_qs.arg(shownName(request.target), germanErrorText(error.code().value())));
    }
    return 1;
}

} // namespace

bool exportRequested(int argc, char *argv[])
{
    // The window takes one picture file and nothing else; anything more is
    // for the command line, which refuses what it does not know.
    if (argc > 2)
        return true;
    return argc == 2 && argv[1][0] == '-';
}

int runExport(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quirlbau"_qs);
    QCoreApplication::setApplicationVersion(QString::fromUtf8(ProgramVersion));
    installGermanTranslations(app);
    ExportOptions options;
    QByteArrayList raw;
    for (int k = 0; k < argc; ++k)
        raw.append(QByteArray(argv[k]));
    options.setRawArguments(raw);
    switch (options.parse(QCoreApplication::arguments())) {
    case ExportOptions::Outcome::Help:
        std::fputs(qPrintable(options.helpText()), stdout);
        return 0;
    case ExportOptions::Outcome::Version:
        printLine(stdout, u"quirlbau "_qs + QCoreApplication::applicationVersion());
        return 0;
    case ExportOptions::Outcome::BadArguments:
        printLine(stderr, u"quirlbau: "_qs + options.errorLine());
        return 2;
    case ExportOptions::Outcome::Film:
        return makeFilm(*options.request().film);
    case ExportOptions::Outcome::Render:
        break;
    }
    return renderOrRefuse(options.request());
}
