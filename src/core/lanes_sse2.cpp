// The column kernel on SSE2, which every x86-64 processor has.
#include <immintrin.h>

namespace {

struct Sse2
{
    static constexpr int Width = 2;
    using D = __m128d;
    using M = __m128d;

    static D set1(double v) { return _mm_set1_pd(v); }
    static D load(const double *p) { return _mm_load_pd(p); }
    static void store(double *p, D v) { _mm_store_pd(p, v); }
    static D add(D a, D b) { return _mm_add_pd(a, b); }
    static D sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D min(D a, D b) { return _mm_min_pd(a, b); }
    // The compares are false for NaN, like the plain loop's "m <= bound".
    static M le(D a, D b) { return _mm_cmple_pd(a, b); }
    static M lt(D a, D b) { return _mm_cmplt_pd(a, b); }
    static M eq(D a, D b) { return _mm_cmpeq_pd(a, b); }
    static M both(M a, M b) { return _mm_and_pd(a, b); }
    static M butNot(M a, M b) { return _mm_andnot_pd(b, a); }
    static D select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    static D addWhere(D a, M m, D b) { return _mm_add_pd(a, _mm_and_pd(m, b)); }
    static unsigned bits(M m) { return static_cast<unsigned>(_mm_movemask_pd(m)); }
};

} // namespace

#include "core/lanekernel.h"

ColumnWork computeColumnSse2(const ColumnJob &job)
{
    return LaneKernel<Sse2, 3>(job).run();
}

void stepProbeSse2(const StepProbe &probe)
{
    laneStepProbe<Sse2>(probe);
}
