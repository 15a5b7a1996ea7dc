// The column kernel on AVX2; this file alone is built with -mavx2 -mfma.
// The processor's multiply-add is deliberately left unused: the project-wide
// -ffp-contract=off keeps every product rounded on its own.
#include <immintrin.h>

namespace {

struct Avx2
{
    static constexpr int Width = 4;
    using D = __m256d;
    using M = __m256d;

    static D set1(double v) { return _mm256_set1_pd(v); }
    static D load(const double *p) { return _mm256_load_pd(p); }
    static void store(double *p, D v) { _mm256_store_pd(p, v); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D min(D a, D b) { return _mm256_min_pd(a, b); }
    // Ordered compares: false for NaN, like the plain loop's "m <= bound".
    static M le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M eq(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    static M both(M a, M b) { return _mm256_and_pd(a, b); }
    static M butNot(M a, M b) { return _mm256_andnot_pd(b, a); }
    static D select(M m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
    static D addWhere(D a, M m, D b) { return _mm256_add_pd(a, _mm256_and_pd(m, b)); }
    static unsigned bits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
};

} // namespace

#include "core/lanekernel.h"

ColumnWork computeColumnAvx2(const ColumnJob &job)
{
    return LaneKernel<Avx2, 3>(job).run();
}

void stepProbeAvx2(const StepProbe &probe)
{
    laneStepProbe<Avx2>(probe);
}
