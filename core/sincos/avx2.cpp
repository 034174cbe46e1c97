// The sine-cosine fast path on four lanes with AVX2; lanes that it cannot
// decide, and arguments outside its range, go to the scalar routine.
#include "sincos/internal.h"
#include "sincos/generated/sincos_tables.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace spectrogrid {
namespace sincos_avx2 {

namespace {

using Vec = __m256d;
using Bits = __m256i;
using Mask = __m256d;  // all ones or all zeros per lane

inline Vec splat(double x) { return _mm256_set1_pd(x); }
inline Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
inline Vec sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
inline Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
inline Vec absolute(Vec a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
inline Bits bitsOf(Vec a) { return _mm256_castpd_si256(a); }
template <unsigned mask>
inline Bits lowBits(Bits b) { return _mm256_and_si256(b, _mm256_set1_epi64x(mask)); }
template <unsigned n>
inline Bits addBits(Bits b) { return _mm256_add_epi64(b, _mm256_set1_epi64x(n)); }
template <int n>
inline Vec negateIfBitSet(Vec a, Bits b) {
    return _mm256_xor_pd(a, _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_srli_epi64(b, n), 63)));
}
inline Vec keepHighBits(Vec a) {
    return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(~((1ll << 27) - 1))));
}
template <int n>
inline Mask bitIsSet(Bits b) {
    const Bits bit = _mm256_set1_epi64x(1ll << n);
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(b, bit), bit));
}
inline Vec lookup(const double* table, Bits index) { return _mm256_i64gather_pd(table, index, 8); }
inline Vec select(Mask m, Vec a, Vec b) { return _mm256_blendv_pd(b, a, m); }
inline Mask sameValue(Vec a, Vec b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline Mask bothSet(Mask a, Mask b) { return _mm256_and_pd(a, b); }
inline bool allSet(Mask a) { return _mm256_movemask_pd(a) == 0xf; }

#include "sincos-inl.h"

}  // namespace

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    std::int64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Vec t = _mm256_loadu_pd(theta + i);
        const Vec magnitude = absolute(t);
        const Mask inRange = _mm256_and_pd(_mm256_cmp_pd(magnitude, splat(moderateLow), _CMP_GE_OQ),
                                           _mm256_cmp_pd(magnitude, splat(moderateHigh), _CMP_LT_OQ));
        Vec s, c;
        const unsigned decided =
            static_cast<unsigned>(_mm256_movemask_pd(_mm256_and_pd(sinCosModerate(t, magnitude, &s, &c), inRange)));
        if (decided == 0xfu) {
            _mm256_storeu_pd(sine + i, s);
            _mm256_storeu_pd(cosine + i, c);
            continue;
        }
        double lanes[4];  // theta may share memory with the outputs
        _mm256_storeu_pd(lanes, t);
        _mm256_storeu_pd(sine + i, s);
        _mm256_storeu_pd(cosine + i, c);
        for (int l = 0; l < 4; ++l)
            if (!((decided >> l) & 1u)) sincos_scalar::sinCos(lanes[l], &sine[i + l], &cosine[i + l]);
    }
    sincos_scalar::fillSinCos(theta + i, sine + i, cosine + i, n - i);
}

}  // namespace sincos_avx2
}  // namespace spectrogrid

#endif
