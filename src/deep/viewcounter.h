#pragma once

#include "deep/deepkernel.h"
#include "deep/deepview.h"

#include <cstdint>
#include <optional>

// The counts of a view at any depth. While doubles hold the view (see
// DeepView::needsDeep) and Imax fits punkt_iteration, a pixel's count is
// punkt_iteration's at its point rounded to the nearest double, exactly as
// before; below that depth, or for a larger Imax, the deep kernel's.
class ViewCounter
{
public:
    ViewCounter(const DeepView &view, std::int64_t imax);

    bool deep() const { return m_kernel.has_value(); }
    std::int64_t count(int p, int q, DeepWork &work) const;
    void countRow(int q, std::int64_t *counts, DeepWork &work) const;

private:
    DeepView m_view;
    std::int64_t m_imax;
    std::optional<DeepKernel> m_kernel;
};
