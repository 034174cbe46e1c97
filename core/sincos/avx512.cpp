// The sine-cosine fast path with AVX-512 (F and DQ), sixteen lanes per step
// as two vectors whose operations alternate, so that the two long
// dependency chains overlap. Lanes that it cannot decide, and arguments
// outside its range, go to the scalar routine.
#include "simd/operations.h"
#include "sincos/internal.h"
#include "sincos/table_rows.h"

// GCC 12 warns about its own intrinsics (the undefined first operand).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace spectrogrid {
namespace sincos_avx512 {

namespace {

struct Vec {
    __m512d a, b;
};
struct Bits {
    __m512i a, b;
};
struct Mask {
    __mmask8 a, b;
};

inline __m512i broadcast(long long x) { return _mm512_set1_epi64(x); }

inline Vec splat(double x) { return {_mm512_set1_pd(x), _mm512_set1_pd(x)}; }
inline Vec add(Vec x, Vec y) { return {_mm512_add_pd(x.a, y.a), _mm512_add_pd(x.b, y.b)}; }
inline Vec sub(Vec x, Vec y) { return {_mm512_sub_pd(x.a, y.a), _mm512_sub_pd(x.b, y.b)}; }
inline Vec mul(Vec x, Vec y) { return {_mm512_mul_pd(x.a, y.a), _mm512_mul_pd(x.b, y.b)}; }
inline Vec absolute(Vec x) { return {_mm512_abs_pd(x.a), _mm512_abs_pd(x.b)}; }
inline Bits bitsOf(Vec x) { return {_mm512_castpd_si512(x.a), _mm512_castpd_si512(x.b)}; }
template <unsigned mask>
inline Bits lowBits(Bits x) {
    return {_mm512_and_si512(x.a, broadcast(mask)), _mm512_and_si512(x.b, broadcast(mask))};
}
template <unsigned n>
inline Bits addBits(Bits x) {
    return {_mm512_add_epi64(x.a, broadcast(n)), _mm512_add_epi64(x.b, broadcast(n))};
}
inline Vec keepHighBits(Vec x) {
    const __m512i high = broadcast(~((1ll << 27) - 1));
    return {_mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(x.a), high)),
            _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(x.b), high))};
}
template <int n>
inline Mask bitIsSet(Bits x) {
    return {_mm512_test_epi64_mask(x.a, broadcast(1ll << n)), _mm512_test_epi64_mask(x.b, broadcast(1ll << n))};
}
template <int n>
inline Vec negateIfBitSet(Vec x, Bits bits) {
    const Mask m = bitIsSet<n>(bits);
    const __m512d sign = _mm512_set1_pd(-0.0);
    return {_mm512_mask_xor_pd(x.a, m.a, x.a, sign), _mm512_mask_xor_pd(x.b, m.b, x.b, sign)};
}
// One row load per lane and a transpose: cheaper than four gathers. The
// rows of lanes 0 and 2 share a register, so do 1 and 3, 4 and 6, 5 and 7;
// unpacking pairs them up by 128-bit block, and the block shuffles put the
// blocks in lane order.
inline void lookupVector(__m512i index, __m512d* sinHead, __m512d* sinTail, __m512d* cosHead,
                         __m512d* cosTail) {
    alignas(64) long long at[8];
    _mm512_store_si512(at, index);
    const double(*rows)[4] = sincos_tables::entryRows.row;
    const auto pair = [rows](long long low, long long high) {
        return _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_load_pd(rows[low])), _mm256_load_pd(rows[high]), 1);
    };
    const __m512d rows02 = pair(at[0], at[2]);
    const __m512d rows13 = pair(at[1], at[3]);
    const __m512d rows46 = pair(at[4], at[6]);
    const __m512d rows57 = pair(at[5], at[7]);
    const __m512d heads0123 = _mm512_unpacklo_pd(rows02, rows13);  // sin 0 1, cos 0 1, sin 2 3, cos 2 3
    const __m512d tails0123 = _mm512_unpackhi_pd(rows02, rows13);
    const __m512d heads4567 = _mm512_unpacklo_pd(rows46, rows57);
    const __m512d tails4567 = _mm512_unpackhi_pd(rows46, rows57);
    *sinHead = _mm512_shuffle_f64x2(heads0123, heads4567, _MM_SHUFFLE(2, 0, 2, 0));
    *cosHead = _mm512_shuffle_f64x2(heads0123, heads4567, _MM_SHUFFLE(3, 1, 3, 1));
    *sinTail = _mm512_shuffle_f64x2(tails0123, tails4567, _MM_SHUFFLE(2, 0, 2, 0));
    *cosTail = _mm512_shuffle_f64x2(tails0123, tails4567, _MM_SHUFFLE(3, 1, 3, 1));
}
inline void lookupEntry(Bits index, Vec* sinHead, Vec* sinTail, Vec* cosHead, Vec* cosTail) {
    lookupVector(index.a, &sinHead->a, &sinTail->a, &cosHead->a, &cosTail->a);
    lookupVector(index.b, &sinHead->b, &sinTail->b, &cosHead->b, &cosTail->b);
}
inline Vec select(Mask m, Vec x, Vec y) {
    return {_mm512_mask_blend_pd(m.a, y.a, x.a), _mm512_mask_blend_pd(m.b, y.b, x.b)};
}
inline Mask sameValue(Vec x, Vec y) {
    return {_mm512_cmp_pd_mask(x.a, y.a, _CMP_EQ_OQ), _mm512_cmp_pd_mask(x.b, y.b, _CMP_EQ_OQ)};
}
inline Mask bothSet(Mask x, Mask y) { return {static_cast<__mmask8>(x.a & y.a), static_cast<__mmask8>(x.b & y.b)}; }
inline bool allSet(Mask x) { return x.a == 0xff && x.b == 0xff; }

#include "sincos-inl.h"

constexpr int stepLanes = 16;
inline Vec loadLanes(const double* p) { return {_mm512_loadu_pd(p), _mm512_loadu_pd(p + 8)}; }
inline void storeLanes(double* p, Vec x) {
    _mm512_storeu_pd(p, x.a);
    _mm512_storeu_pd(p + 8, x.b);
}

// moderateLow <= |x| < moderateHigh as one unsigned comparison of the bit
// patterns (NaN lies above infinity).
inline __mmask8 inModerateRange(__m512d magnitude) {
    const __m512i low = _mm512_castpd_si512(_mm512_set1_pd(moderateLow));
    const __m512i span = _mm512_sub_epi64(_mm512_castpd_si512(_mm512_set1_pd(moderateHigh)), low);
    return _mm512_cmplt_epu64_mask(_mm512_sub_epi64(_mm512_castpd_si512(magnitude), low), span);
}
inline unsigned decidedLanes(Mask m, Vec magnitude) {
    return static_cast<unsigned>(m.a & inModerateRange(magnitude.a)) |
           (static_cast<unsigned>(m.b & inModerateRange(magnitude.b)) << 8);
}

#include "steps-inl.h"

}  // namespace

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    fillSinCosInSteps(theta, sine, cosine, n);
}

}  // namespace sincos_avx512
}  // namespace spectrogrid

#endif
