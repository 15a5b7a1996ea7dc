#pragma once

#include "deep/deepview.h"
#include "deep/floatexp.h"
#include "deep/referenceorbit.h"
#include "deep/secondchance.h"
#include "deep/skiptable.h"

#include <cstdint>

// What pixels cost, summed over the calls that share it.
struct DeepWork
{
    std::int64_t pixels = 0;
    std::int64_t steps = 0;          // perturbation steps taken
    std::int64_t rebases = 0;        // restarts at Z(0) = 0: closer to 0 than Z
    std::int64_t referenceEnds = 0;  // restarts at Z(0) = 0: the reference ran out
    std::int64_t extendedPixels = 0; // pixels that began with FloatExp deltas
    std::int64_t recomputed = 0;     // pixels handed to the plain loop
    std::int64_t secondChances = 0;  // doubtful pixels decided in double-double
    std::int64_t secondSteps = 0;    // steps the double-double runs took
    std::int64_t interior = 0;       // pixels proven never to escape
    std::int64_t skips = 0;          // skip-table nodes applied
    std::int64_t skipped = 0;        // steps they skipped (not in steps)

    DeepWork &operator+=(const DeepWork &other);
};

// Counts of a deep view: one reference orbit at the view's centre in MPFR at
// precision P, every pixel as a double-precision perturbation of it (FloatExp
// while its delta is below the double range), restarted at the reference's
// start wherever the pixel comes closer to 0 than the reference. Where a
// node of the skip table (skiptable.h) fits a pixel's delta and its bound,
// its steps are skipped in one go, the bound carried along.
//
// A running bound on the error of each pixel's delta follows every step;
// where an escape test (|z|² > 5) lies within that bound of 5, the pixel is
// counted again in double-double (secondchance.h), and where that too is in
// doubt, by the plain MPFR loop at precision P. So every count is the
// count of the plain loop at P, except where the plain loop's own rounding
// decides it (then the count is the exact orbit's).
//
// Thread-safe: one kernel serves any number of threads at once.
class DeepKernel
{
public:
    // Steps the reference keeps at most: 64 MB in doubles, 48 MB where it
    // keeps FloatExp as well.
    static constexpr std::int64_t ReferenceSteps = std::int64_t(1) << 22;
    static constexpr std::int64_t ExtendedReferenceSteps = std::int64_t(1) << 20;

    // referenceSteps below the defaults only to try short references.
    DeepKernel(const DeepView &view, std::int64_t imax,
               std::int64_t referenceSteps = ReferenceSteps);

    std::int64_t count(int p, int q, DeepWork &work) const;
    // counts[p] for p = 0 … W − 1 of row q.
    void countRow(int q, std::int64_t *counts, DeepWork &work) const;

    // The interior test (interiortest.h) is on by default, where the
    // reference comes back near 0; off, no pixel is ended early.
    void setInteriorTest(bool on) { m_interiorTest = on; }
    // Step skipping by the skip table (skiptable.h) is on by default; off,
    // every step is taken. Counts are the same either way.
    void setStepSkipping(bool on) { m_stepSkipping = on; }
    // Rebuilds the table with another validity radius per step (see
    // SkipTable::DefaultEpsilon); only to measure.
    void setSkipEpsilon(double epsilon);
    // The double-double second chance for doubtful pixels is on by default
    // (for views whose pixels are wider than 2^-900); off, every doubtful
    // pixel goes to the plain loop. Counts are the same either way wherever
    // the plain loop's count is determined (P and 2P agree).
    void setSecondChance(bool on) { m_secondChance = on; }

    const ReferenceOrbit &reference() const { return m_reference; }
    const SkipTable &skipTable() const { return m_skips; }
    const DeepView &view() const { return m_view; }

private:
    // counts[k] for pixels (first + k, q), k < pixels.
    void countPoints(int first, int pixels, int q, std::int64_t *counts, DeepWork &work) const;
    // The count of a pixel the lanes left in doubt.
    std::int64_t recount(mpfr_srcptr cx, mpfr_srcptr cy, DeepWork &work) const;

    DeepView m_view;
    std::int64_t m_imax;
    ReferenceOrbit m_reference;
    SkipTable m_skips;
    SecondChance m_doubleDouble;
    bool m_secondChance = true;
    bool m_interiorTest = true;
    bool m_stepSkipping = true;
};
