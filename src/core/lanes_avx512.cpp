// The column kernel on AVX-512F; this file alone is built with -mavx512f
// -mfma. The processor's multiply-add is deliberately left unused: the
// project-wide -ffp-contract=off keeps every product rounded on its own.
#include <immintrin.h>

namespace {

struct Avx512
{
    static constexpr int Width = 8;
    using D = __m512d;
    using M = __mmask8;

    static D set1(double v) { return _mm512_set1_pd(v); }
    static D load(const double *p) { return _mm512_load_pd(p); }
    static void store(double *p, D v) { _mm512_store_pd(p, v); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D min(D a, D b) { return _mm512_min_pd(a, b); }
    // Ordered compares: false for NaN, like the plain loop's "m <= bound".
    static M le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M eq(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
    static M both(M a, M b) { return static_cast<M>(a & b); }
    static M butNot(M a, M b) { return static_cast<M>(a & ~b); }
    static D select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static D addWhere(D a, M m, D b) { return _mm512_mask_add_pd(a, m, a, b); }
    static unsigned bits(M m) { return m; }
};

} // namespace

#include "core/lanekernel.h"

ColumnWork computeColumnAvx512(const ColumnJob &job)
{
    return LaneKernel<Avx512, 6>(job).run();
}

void stepProbeAvx512(const StepProbe &probe)
{
    laneStepProbe<Avx512>(probe);
}
