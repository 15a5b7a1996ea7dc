#pragma once

#include "export/deepoptions.h"
#include "export/posterrender.h"

#include <functional>
#include <memory>

class DeepBandComputer;
class PngBandWriter;

// Renders a deep still into a PngBandWriter: its rows in bands through the
// export's ring, each band's rows shared by the workers, written in order.
class DeepRender
{
public:
    using Progress = PosterRender::Progress;

    explicit DeepRender(const DeepRequest &request);

    // Whether the deep kernel runs (else punkt_iteration at the pixel
    // points rounded to doubles, where doubles still hold the view).
    bool deep() const { return m_deep; }
    void setProgress(Progress progress) { m_render.setProgress(std::move(progress)); }

    // False when the writer failed; its reason is then in writer.error().
    bool run(PngBandWriter &writer) { return m_render.run(writer); }

private:
    DeepRender(std::unique_ptr<DeepBandComputer> computer, const DeepRequest &request);

    bool m_deep;
    PosterRender m_render;
};
