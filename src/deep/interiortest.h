#pragma once

#include "deep/lanejob.h"

#include <complex>

// A point z of an orbit as Z(m) and dz, so that the difference of two is
// (Z − Z') + (dz − dz'), rounded, without the cancellation of z − z'.
struct OrbitPoint
{
    std::complex<double> reference, delta;
    std::complex<double> operator-(const OrbitPoint &other) const
    {
        return (reference - other.reference) + (delta - other.delta);
    }
};

inline OrbitPoint orbitPoint(const LaneJob &job, const LaneState &state)
{
    return {{job.refX[state.m], job.refY[state.m]}, {state.dx, state.dy}};
}

// The interior test: whether a pixel's exact orbit provably never escapes.
//
// B0 is a disk of radius R around a point Z(m) + c near the pixel's z(n)
// (delta dz against the reference's Z(m)). Its s steps run with R in place
// of the error bound, so the bound, being ball arithmetic (the change of a
// step under a change e of dz is e·(2z + e)), bounds the exact images of
// every point of B0: f^s(B0) lies in the disk B_s of the last step. If B_s
// lies strictly inside B0, f^s maps the closed disk into its own interior,
// so it has an attracting fixed point there (Schwarz–Pick): the pixel's c
// has an attracting cycle. That cycle attracts the orbit of 0, the only
// critical point, so c lies in the set, |z| <= 2 along its whole orbit,
// and the count is imax. B0 need not hold z(n) itself: a small disk aimed
// at the cycle proves what a disk around z(n) could prove only much later.
//
// s is q periods, q = 1 … MaxCycle: inside the minibrot's cardioid the
// orbit closes in on a cycle of one period, inside a bulb on one of q
// periods, whose returns alternate among q points. The lanes call observe()
// at every multiple of the period from the fourth on; the returns q periods
// apart and how fast their differences shrink choose q and aim the disk
// (they choose only: the proof is the containment): the differences form
// about a geometric series, whose sum puts c near the cycle's point.
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
        std::complex<double> ratio; // about the cycle's multiplier
    };
    Ball choose(const LaneJob &job, const LaneState &state, const std::complex<double> *steps) const;
    bool proves(const LaneJob &job, double dcx, double dcy, const LaneState &state,
                const Ball &ball) const;

    static constexpr std::int64_t FirstPeriods = 3;
    static constexpr double MaxRatio = 0.97;
    // The disk's radius at most |z| / NearZero: a larger one grows by its
    // own square near 0.
    static constexpr double NearZero = 32.0;
    // The geometric series' sum at most this share of |z|: farther, the
    // returns are far from closing in linearly.
    static constexpr double FarthestShift = 0.3;
    // q is the fewest periods whose step's square is within this factor of
    // the smallest.
    static constexpr double Nearest = 16.0;
    // The first disk's radius in units of the estimate's expected error,
    // and every radius at least Settled · |z| (returns closer than that have
    // met within roundings).
    static constexpr double Guess = 2.0;
    static constexpr double Settled = 0x1p-30;
    static constexpr int Attempts = 3;
    // No next disk after one whose centre's q periods grow by more.
    static constexpr double MaxGrowth = 1.1;


    // The last MaxCycle returns, and z at each minus z q = 1 … MaxCycle
    // periods before, by observation modulo MaxCycle.
    OrbitPoint m_returns[MaxCycle];
    std::complex<double> m_steps[MaxCycle][MaxCycle + 1];
    std::int64_t m_observed = 0; // returns seen one period apart
    std::int64_t m_due = 0;
    double m_failedShift = 0.0; // |shift|² of the last test that failed
};

// A bound on |(Z(b.m) + b.dz) − (Z(a.m) + a.dz)|, the sums exact.
double orbitDistance(const LaneJob &job, const LaneState &a, const LaneState &b);
