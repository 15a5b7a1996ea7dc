#pragma once

#include "deep/lanejob.h"

#include <complex>

// The interior test: whether a pixel's exact orbit provably never escapes.
//
// From the lanes' state at step n (delta dz against the reference's Z(m),
// error bound E), B0 is a disk of radius R around Z(m) + c with
// |c − dz| + E <= R: it holds the pixel's exact z(n). Its s steps run with
// R in place of E, so the bound, being ball arithmetic (the change of a step
// under a change e of dz is e·(2z + e)), bounds the exact images of every
// point of B0: f^j(B0) lies in the disk B_j of the j-th step, and every B_j
// is checked to lie inside |z|² <= 5 as an escape test decided "stays". If
// B_s lies inside B0, then f^s(B0) ⊂ B0, so f^(ks + j)(B0) ⊂ B_j for every
// k, j: the exact orbit never escapes, and its count is imax. A bound E at
// step n + s that is larger than R only makes the test fail.
//
// s is q periods, q = 1 … MaxCycle: inside the minibrot's cardioid the
// orbit closes in on a cycle of one period, inside a bulb on one of q
// periods, whose returns alternate among q points. The lanes call observe()
// at every multiple of the period from the fourth on; the returns q periods
// apart and how fast their differences shrink choose q, c and R (they
// choose only: the proof is the containment): the differences form about a
// geometric series, whose sum puts c near the cycle's point, and the test
// runs only where they shrink.
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
    // The most periods a test runs: bulbs of more are small, and looking
    // for their cycles cost every return more than their pixels saved.
    static constexpr int MaxCycle = 4;

    struct Ball
    {
        int periods = 0; // 0: no test
        std::complex<double> shift; // c − dz
        double radius = 0.0;
    };
    Ball choose(const LaneJob &job, const LaneState &state, const std::complex<double> *steps) const;

    static constexpr std::int64_t FirstPeriods = 3;
    static constexpr double MaxRatio = 0.97;
    static constexpr double NearZero = 32.0;
    static constexpr double Margin = 1.5;

    // A return's z as Z(m) and dz.
    struct Return
    {
        std::complex<double> reference, delta;
    };

    // The last MaxCycle returns, and z at each minus z q = 1 … MaxCycle
    // periods before, by observation modulo MaxCycle.
    Return m_returns[MaxCycle];
    std::complex<double> m_steps[MaxCycle][MaxCycle + 1];
    std::int64_t m_observed = 0; // returns seen one period apart
    std::int64_t m_due = 0, m_wait = 0, m_failures = 0;
};

// A bound on |(Z(b.m) + b.dz) − (Z(a.m) + a.dz)|, the sums exact.
double orbitDistance(const LaneJob &job, const LaneState &a, const LaneState &b);
