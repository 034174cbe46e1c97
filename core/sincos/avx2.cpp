// The sine-cosine fast path with AVX2, eight lanes per step as two vectors
// whose operations alternate; lanes that it cannot decide, and arguments
// outside its range, go to the scalar routine.
#include "simd/operations.h"
#include "sincos/internal.h"
#include "sincos/table_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace spectrogrid {
namespace sincos_avx2 {

namespace {

// Two vectors, so that their long dependency chains overlap.
using V = __m256d;
using I = __m256i;
struct Vec {
    V a, b;
};
struct Bits {
    I a, b;
};
struct Mask {
    V a, b;  // all ones or all zeros per lane
};

inline Vec splat(double x) { return {_mm256_set1_pd(x), _mm256_set1_pd(x)}; }
inline Vec add(Vec x, Vec y) { return {_mm256_add_pd(x.a, y.a), _mm256_add_pd(x.b, y.b)}; }
inline Vec sub(Vec x, Vec y) { return {_mm256_sub_pd(x.a, y.a), _mm256_sub_pd(x.b, y.b)}; }
inline Vec mul(Vec x, Vec y) { return {_mm256_mul_pd(x.a, y.a), _mm256_mul_pd(x.b, y.b)}; }
inline V absolute(V x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
inline Vec absolute(Vec x) { return {absolute(x.a), absolute(x.b)}; }
inline Bits bitsOf(Vec x) { return {_mm256_castpd_si256(x.a), _mm256_castpd_si256(x.b)}; }
template <unsigned mask>
inline Bits lowBits(Bits x) {
    const I m = _mm256_set1_epi64x(mask);
    return {_mm256_and_si256(x.a, m), _mm256_and_si256(x.b, m)};
}
template <unsigned n>
inline Bits addBits(Bits x) {
    const I m = _mm256_set1_epi64x(n);
    return {_mm256_add_epi64(x.a, m), _mm256_add_epi64(x.b, m)};
}
template <int n>
inline V negateIfBitSet(V x, I bits) {
    return _mm256_xor_pd(x, _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_srli_epi64(bits, n), 63)));
}
template <int n>
inline Vec negateIfBitSet(Vec x, Bits bits) { return {negateIfBitSet<n>(x.a, bits.a), negateIfBitSet<n>(x.b, bits.b)}; }
inline Vec keepHighBits(Vec x) {
    const V high = _mm256_castsi256_pd(_mm256_set1_epi64x(~((1ll << 27) - 1)));
    return {_mm256_and_pd(x.a, high), _mm256_and_pd(x.b, high)};
}
template <int n>
inline V bitIsSet(I bits) {
    const I bit = _mm256_set1_epi64x(1ll << n);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(bits, bit), bit));
}
template <int n>
inline Mask bitIsSet(Bits bits) { return {bitIsSet<n>(bits.a), bitIsSet<n>(bits.b)}; }
inline Vec select(Mask m, Vec x, Vec y) { return {_mm256_blendv_pd(y.a, x.a, m.a), _mm256_blendv_pd(y.b, x.b, m.b)}; }
inline Mask sameValue(Vec x, Vec y) { return {_mm256_cmp_pd(x.a, y.a, _CMP_EQ_OQ), _mm256_cmp_pd(x.b, y.b, _CMP_EQ_OQ)}; }
inline Mask bothSet(Mask x, Mask y) { return {_mm256_and_pd(x.a, y.a), _mm256_and_pd(x.b, y.b)}; }
inline bool allSet(Mask x) { return (_mm256_movemask_pd(x.a) & _mm256_movemask_pd(x.b)) == 0xf; }

// One row load per lane and a 4 x 4 transpose: cheaper than four gathers.
inline void lookupVector(I index, V* sinHead, V* sinTail, V* cosHead, V* cosTail) {
    alignas(32) long long at[4];
    _mm256_store_si256(reinterpret_cast<I*>(at), index);
    const double(*rows)[4] = sincos_tables::entryRows.row;
    const V r0 = _mm256_load_pd(rows[at[0]]);
    const V r1 = _mm256_load_pd(rows[at[1]]);
    const V r2 = _mm256_load_pd(rows[at[2]]);
    const V r3 = _mm256_load_pd(rows[at[3]]);
    const V heads01 = _mm256_unpacklo_pd(r0, r1);  // sin 0 1, cos 0 1
    const V tails01 = _mm256_unpackhi_pd(r0, r1);
    const V heads23 = _mm256_unpacklo_pd(r2, r3);
    const V tails23 = _mm256_unpackhi_pd(r2, r3);
    *sinHead = _mm256_permute2f128_pd(heads01, heads23, 0x20);
    *cosHead = _mm256_permute2f128_pd(heads01, heads23, 0x31);
    *sinTail = _mm256_permute2f128_pd(tails01, tails23, 0x20);
    *cosTail = _mm256_permute2f128_pd(tails01, tails23, 0x31);
}
inline void lookupEntry(Bits index, Vec* sinHead, Vec* sinTail, Vec* cosHead, Vec* cosTail) {
    lookupVector(index.a, &sinHead->a, &sinTail->a, &cosHead->a, &cosTail->a);
    lookupVector(index.b, &sinHead->b, &sinTail->b, &cosHead->b, &cosTail->b);
}

#include "sincos-inl.h"

constexpr int stepLanes = 8;
inline Vec loadLanes(const double* p) { return {_mm256_loadu_pd(p), _mm256_loadu_pd(p + 4)}; }
inline void storeLanes(double* p, Vec x) {
    _mm256_storeu_pd(p, x.a);
    _mm256_storeu_pd(p + 4, x.b);
}

// moderateLow <= |x| < moderateHigh, one flag bit per lane.
inline unsigned inModerateRange(V magnitude) {
    return static_cast<unsigned>(
        _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(magnitude, _mm256_set1_pd(moderateLow), _CMP_GE_OQ),
                                         _mm256_cmp_pd(magnitude, _mm256_set1_pd(moderateHigh), _CMP_LT_OQ))));
}
inline unsigned decidedLanes(Mask m, Vec magnitude) {
    return (static_cast<unsigned>(_mm256_movemask_pd(m.a)) & inModerateRange(magnitude.a)) |
           ((static_cast<unsigned>(_mm256_movemask_pd(m.b)) & inModerateRange(magnitude.b)) << 4);
}

#include "steps-inl.h"

}  // namespace

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    fillSinCosInSteps(theta, sine, cosine, n);
}

}  // namespace sincos_avx2
}  // namespace spectrogrid

#endif
