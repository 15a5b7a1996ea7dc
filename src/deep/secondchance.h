#pragma once

#include "deep/doubledouble.h"
#include "deep/mpreal.h"
#include "deep/perturbation.h"

#include <cstdint>
#include <memory>
#include <vector>

// A pixel the double lanes left in doubt, counted again by the same
// perturbation in double-double, one pixel at a time: dz' = (2·Z(m) + dz)·dz
// + dc against the reference Z at the view's centre (hi the double nearest
// Z, lo the rest), rebased to Z(0) = 0 where the pixel comes closer to 0 than
// Z and restarted there at the reference's end, with the ball bound of the
// double lanes (perturbation.h) carried along, its rounding constants those
// of double-double arithmetic, and a term for the reference's own rounding
// at P bits besides: the bound is on the distance to the exact orbit of the
// pixel's point. Its verdict is Counted only where every escape test lay
// further than its bound from 5; Unsure sends the pixel on to the plain
// loop.
//
// The reference's double-double steps are computed on the first call, from
// the centre again at its precision, and keep at most maxSteps steps
// (32 bytes each; pixels restart at its end). Thread-safe.
class SecondChance
{
public:
    // 2^17 steps: 4 MB.
    static constexpr std::int64_t MaxSteps = std::int64_t(1) << 17;

    SecondChance(mpfr_srcptr cx, mpfr_srcptr cy, std::int64_t imax,
                 std::int64_t maxSteps = MaxSteps);
    SecondChance(SecondChance &&) noexcept;
    ~SecondChance();

    // One step of a run: z after n steps and the bound on |z − exact z|,
    // the exact orbit being the one of the pixel's point c; and z in doubles
    // as the escape test has it, with its own bound.
    struct Step
    {
        std::int64_t n = 0;
        DoubleDouble zx, zy;
        double zError = 0.0;
        double roughX = 0.0, roughY = 0.0, roughError = 0.0;
    };

    // The pixel whose c − C is dcx + i·dcy, each rounded once to a
    // double-double; count, verdict, steps, rebases and reference ends of
    // the result are set. With a trace, every step is added to it.
    PerturbationResult run(DoubleDouble dcx, DoubleDouble dcy,
                           std::vector<Step> *trace = nullptr) const;

private:
    struct Orbit;
    const Orbit &orbit() const;
    static void iterate(Orbit &orbit);

    std::unique_ptr<Orbit> m_orbit;
};
