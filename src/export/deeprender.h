#pragma once

#include "export/deepoptions.h"

#include <cstdint>
#include <functional>
#include <memory>

class PngBandWriter;

// Renders a deep still into a PngBandWriter: rows in bands, each band's rows
// shared by the workers, its counts mapped to swatches, written in order.
class DeepRender
{
public:
    using Progress = std::function<void(int rowsDone, int rowsTotal)>;

    explicit DeepRender(const DeepRequest &request);
    ~DeepRender();

    // Whether the deep kernel runs (else punkt_iteration at the pixel
    // points rounded to doubles, where doubles still hold the view).
    bool deep() const;
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // False when the writer failed; its reason is then in writer.error().
    bool run(PngBandWriter &writer);

private:
    void computeBand(int first, int rows, std::uint8_t *band) const;

    DeepRequest m_request;
    struct Counter;
    std::unique_ptr<Counter> m_counter;
    Progress m_progress;
};
