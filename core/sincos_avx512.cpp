// The sine-cosine fast path on eight lanes with AVX-512 (F and DQ); lanes
// that it cannot decide, and arguments outside its range, go to the scalar
// routine.
#include "sincos_internal.h"
#include "sincos_tables.h"

// GCC 12 warns about its own intrinsics (the undefined first operand).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace spectrogrid {
namespace sincos_avx512 {

namespace {

using Vec = __m512d;
using Bits = __m512i;
using Mask = __mmask8;

inline Vec splat(double x) { return _mm512_set1_pd(x); }
inline Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
inline Vec absolute(Vec a) { return _mm512_abs_pd(a); }
inline Bits bitsOf(Vec a) { return _mm512_castpd_si512(a); }
template <unsigned mask>
inline Bits lowBits(Bits b) { return _mm512_and_si512(b, _mm512_set1_epi64(mask)); }
template <unsigned n>
inline Bits addBits(Bits b) { return _mm512_add_epi64(b, _mm512_set1_epi64(n)); }
template <int n>
inline Vec negateIfBitSet(Vec a, Bits b) {
    return _mm512_mask_xor_pd(a, _mm512_test_epi64_mask(b, _mm512_set1_epi64(1ll << n)), a, _mm512_set1_pd(-0.0));
}
inline Vec keepHighBits(Vec a) {
    return _mm512_castsi512_pd(_mm512_and_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(~((1ll << 27) - 1))));
}
template <int n>
inline Mask bitIsSet(Bits b) { return _mm512_test_epi64_mask(b, _mm512_set1_epi64(1ll << n)); }
inline Vec lookup(const double* table, Bits index) { return _mm512_i64gather_pd(index, table, 8); }
inline Vec select(Mask m, Vec a, Vec b) { return _mm512_mask_blend_pd(m, b, a); }
inline Mask sameValue(Vec a, Vec b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
inline Mask bothSet(Mask a, Mask b) { return static_cast<Mask>(a & b); }
inline bool allSet(Mask a) { return a == 0xff; }

#include "sincos_kernel-inl.h"

}  // namespace

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    std::int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const Vec t = _mm512_loadu_pd(theta + i);
        const Vec magnitude = absolute(t);
        // moderateLow <= magnitude < moderateHigh as one unsigned comparison
        // of the bit patterns (NaN lies above infinity).
        const Bits low = _mm512_castpd_si512(splat(moderateLow));
        const Bits span = _mm512_sub_epi64(_mm512_castpd_si512(splat(moderateHigh)), low);
        const Mask inRange = _mm512_cmplt_epu64_mask(_mm512_sub_epi64(bitsOf(magnitude), low), span);
        Vec s, c;
        const unsigned decided = static_cast<unsigned>(sinCosModerate(t, magnitude, &s, &c) & inRange);
        if (decided == 0xffu) {
            _mm512_storeu_pd(sine + i, s);
            _mm512_storeu_pd(cosine + i, c);
            continue;
        }
        double lanes[8];  // theta may share memory with the outputs
        _mm512_storeu_pd(lanes, t);
        _mm512_storeu_pd(sine + i, s);
        _mm512_storeu_pd(cosine + i, c);
        for (int l = 0; l < 8; ++l)
            if (!((decided >> l) & 1u)) sincos_scalar::sinCos(lanes[l], &sine[i + l], &cosine[i + l]);
    }
    sincos_scalar::fillSinCos(theta + i, sine + i, cosine + i, n - i);
}

}  // namespace sincos_avx512
}  // namespace spectrogrid

#endif
