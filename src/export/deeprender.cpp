#include "export/deeprender.h"

#include "export/deepbandcomputer.h"

namespace {

// The bands' budget: a deep view's reference orbit and skip table may take
// most of the memory the export allows itself.
constexpr std::size_t DeepBandBytes = std::size_t(256) << 10;

DeepView viewOf(const DeepRequest &request)
{
    // The options checked the texts and the size; make() cannot refuse them.
    return *DeepView::make(request.re.toStdString(), request.im.toStdString(), request.width.toStdString(),
                           request.record.size, request.record.height);
}

} // namespace

DeepRender::DeepRender(const DeepRequest &request)
    : DeepRender(std::make_unique<DeepBandComputer>(viewOf(request), request.imax, request.record.cycle), request)
{
}

DeepRender::DeepRender(std::unique_ptr<DeepBandComputer> computer, const DeepRequest &request)
    : m_deep(computer->deep()),
      m_render(std::move(computer), request.record.size, 0, request.record.height - 1, DeepBandBytes)
{
}
