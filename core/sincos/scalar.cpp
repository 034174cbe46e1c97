// The scalar sine-cosine routine: special arguments, the fast path of
// sincos_kernel-inl.h one lane at a time (with a Payne-Hanek reduction for
// |theta| >= 2^20), and the slow path when the rounding test fails.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "simd/operations.h"
#include "sincos/internal.h"
#include "sincos/generated/sincos_tables.h"

// The double-double arithmetic relies on every operation rounding once to
// double: x87 extended precision would round twice.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "sincos needs double arithmetic without extended precision (use -msse2 -mfpmath=sse)"
#endif

namespace spectrogrid {
namespace sincos_scalar {

namespace {

using Vec = double;
using Bits = std::uint64_t;
using Mask = bool;

inline Vec splat(double x) { return x; }
inline Vec add(Vec a, Vec b) { return a + b; }
inline Vec sub(Vec a, Vec b) { return a - b; }
inline Vec mul(Vec a, Vec b) { return a * b; }
inline Vec absolute(Vec a) { return std::fabs(a); }
inline Bits bitsOf(Vec a) {
    Bits b;
    std::memcpy(&b, &a, sizeof b);
    return b;
}
inline Vec fromBits(Bits b) {
    Vec a;
    std::memcpy(&a, &b, sizeof a);
    return a;
}
template <unsigned mask>
inline Bits lowBits(Bits b) { return b & mask; }
template <unsigned n>
inline Bits addBits(Bits b) { return b + n; }
template <int n>
inline Vec negateIfBitSet(Vec a, Bits b) { return fromBits(bitsOf(a) ^ ((b >> n) << 63)); }
inline Vec keepHighBits(Vec a) { return fromBits(bitsOf(a) & ~((Bits{1} << 27) - 1)); }
template <int n>
inline Mask bitIsSet(Bits b) { return ((b >> n) & 1) != 0; }
inline void lookupEntry(Bits i, Vec* sinHead, Vec* sinTail, Vec* cosHead, Vec* cosTail) {
    using namespace sincos_tables;
    *sinHead = sinHigh[i];
    *sinTail = sinLow[i];
    *cosHead = cosHigh[i];
    *cosTail = cosLow[i];
}
inline Vec select(Mask m, Vec a, Vec b) { return m ? a : b; }
inline Mask sameValue(Vec a, Vec b) { return a == b; }
inline Mask bothSet(Mask a, Mask b) { return a && b; }
inline bool allSet(Mask a) { return a; }

#include "sincos-inl.h"

// 2^e for -1022 <= e <= 1023, built from its bits.
inline double powerOfTwo(int e) { return fromBits(static_cast<Bits>(e + 1023) << 52); }

// Absolute error of the reduced argument of huge arguments: the fraction
// is truncated at 2^-119 table steps (2^-128.3 radians).
constexpr double hugeReductionError = 0x1p-127;

// |theta| >= 2^20: theta = (j + f) pi/1024 (mod 2 pi) with |f| <= 1/2 from
// 128 fraction bits of theta * 2/pi; r = f pi/1024 as a double-double,
// within 2^-102 |r| + 2^-127 of the exact value.
bool sinCosHuge(double theta, double* sine, double* cosine) {
    using namespace sincos_tables;
    const Bits bits = bitsOf(theta);
    const Bits mantissa = (bits & ((Bits{1} << 52) - 1)) | (Bits{1} << 52);
    const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
    std::uint32_t z[5];
    sincos_slow::quarterTurns(mantissa, exponent, 4, z);
    // |theta| * 1024/pi = j + F 2^-119 (mod 2048): 2 + 9 bits of j, 119 of F.
    Bits j = (static_cast<Bits>(z[4]) << 9) | (z[3] >> 23);
    Bits high = (static_cast<Bits>(z[3] & 0x7fffffu) << 32) | z[2];  // F's top 55 bits
    Bits low = (static_cast<Bits>(z[1]) << 32) | z[0];
    bool negative = false;
    if ((high >> 54) & 1) {  // F >= 1/2: use j + 1 and F - 1
        j += 1;
        negative = true;
        low = ~low + 1;
        high = (~high + (low == 0 ? 1 : 0)) & ((Bits{1} << 55) - 1);
    }
    // F = high 2^64 + low as fHigh + fLow, 53 + 53 bits (the rest truncated).
    double fHigh = 0.0, fLow = 0.0;
    if (high != 0 || low != 0) {
        int top = high != 0 ? 64 + 63 - __builtin_clzll(high) : 63 - __builtin_clzll(low);
        auto window = [&](int from) {  // bits [from, from + 53), from may be negative
            Bits w;
            if (from >= 64) w = high >> (from - 64);
            else if (from > 0) w = (low >> from) | (high << (64 - from));
            else if (from > -53) w = low << (-from);
            else w = 0;
            return w & ((Bits{1} << 53) - 1);
        };
        const int from = top - 52;
        // Scale 2^(from - 119 - 52) and 2^(from - 53 - 119): exact powers of two.
        fHigh = static_cast<double>(window(from)) * powerOfTwo(from - 119);
        fLow = static_cast<double>(window(from - 53)) * powerOfTwo(from - 53 - 119);
    }
    // r = (fHigh + fLow) * (stepHigh + stepLow), the head product exact.
    const double scaled = fHigh * 134217729.0;  // Veltkamp split, 2^27 + 1
    const double fh = scaled - (scaled - fHigh);
    const double fl = fHigh - fh;
    const double product = fHigh * stepHigh;
    const double productError = (((fh * stepHighHead - product) + fh * stepHighTail) + fl * stepHighHead) +
                                fl * stepHighTail;
    const double tail = productError + (fHigh * stepLow + fLow * stepHigh);
    double rhi = product + tail;
    double rlo = tail - (rhi - product);
    if (negative) {
        rhi = -rhi;
        rlo = -rlo;
    }
    double s, c;
    const bool decided = sinCosReduced(j & 2047, rhi, rlo, 1.0, hugeReductionError, &s, &c);
    *sine = theta < 0 ? -s : s;
    *cosine = c;
    return decided;
}

}  // namespace

bool sinCosFast(double theta, double* sine, double* cosine) {
    const double magnitude = std::fabs(theta);
    if (magnitude >= moderateLow && magnitude < moderateHigh) return sinCosModerate(theta, magnitude, sine, cosine);
    if (!(magnitude >= moderateLow) || magnitude == std::numeric_limits<double>::infinity()) {
        if (magnitude < moderateLow) {  // sin x = x - x^3/6 rounds to x, cos x to 1
            *sine = theta;
            *cosine = 1.0;
        } else {
            *sine = std::numeric_limits<double>::quiet_NaN();
            *cosine = std::numeric_limits<double>::quiet_NaN();
        }
        return true;
    }
    return sinCosHuge(theta, sine, cosine);
}

void sinCos(double theta, double* sine, double* cosine) {
    if (!sinCosFast(theta, sine, cosine)) sincos_slow::sinCos(theta, sine, cosine);
}

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) sinCos(theta[i], &sine[i], &cosine[i]);
}

}  // namespace sincos_scalar
}  // namespace spectrogrid
