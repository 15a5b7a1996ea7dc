#pragma once

#include "deep/lanejob.h"

// The interior test: whether a pixel's exact orbit provably never escapes.
//
// From the lanes' state at step n (delta dz against the reference's Z(m),
// error bound E), B0 is the disk of radius R >= E around Z(m) + dz: it holds
// the pixel's exact z(n). Its p steps run with R in place of E, so the
// bound, being ball arithmetic (the change of a step under a change e of dz
// is e·(2z + e)), bounds the exact images of every point of B0: f^j(B0) lies
// in the disk B_j of the j-th step, and every B_j is checked to lie inside
// |z|² <= 5 as an escape test decided "stays". If B_p lies inside B0, then
// f^p(B0) ⊂ B0, so f^(kp + j)(B0) ⊂ B_j for every k, j: the exact orbit
// never escapes, and its count is imax. A bound E at step n + p that is
// larger than R only makes the test fail.
// The lanes call observe() at every multiple of the period from the fourth
// on; the distance between consecutive returns and how fast it shrinks
// choose R (they choose only: the proof is the containment), and the test
// itself runs only where the returns close in.
class InteriorWatch
{
public:
    // From step n of a pixel's run.
    void start(std::int64_t n, std::int64_t period);
    // The step at which observe() is due next.
    std::int64_t due() const { return m_due; }
    // At step state.n == due(): true where the pixel is proven never to escape.
    bool observe(const LaneJob &job, double dcx, double dcy, const LaneState &state);

private:
    static constexpr std::int64_t FirstPeriods = 3;
    static constexpr double MaxRatio = 0.97;
    static constexpr double NearZero = 32.0;

    LaneState m_previous;
    bool m_seen = false;
    double m_reach = 0.0;
    std::int64_t m_due = 0, m_wait = 0, m_failures = 0;
};

// A bound on |(Z(b.m) + b.dz) − (Z(a.m) + a.dz)|, the sums exact.
double orbitDistance(const LaneJob &job, const LaneState &a, const LaneState &b);
