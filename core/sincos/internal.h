// The parts of the sine-cosine routine: the scalar routine with its fast
// and slow paths, and the batch routines of each instruction set, which the
// kernel sets (accumulate/) take their twiddles from. The tests use them
// directly too.
#ifndef SPECTROGRID_CORE_SINCOS_INTERNAL_H
#define SPECTROGRID_CORE_SINCOS_INTERNAL_H

#include <cstdint>

namespace spectrogrid {

namespace sincos_scalar {

// The double-double fast path with its rounding test. Returns true when
// both results are known to be correctly rounded (always for NaN, infinite,
// zero and tiny arguments); otherwise the outputs are unspecified.
bool sinCosFast(double theta, double* sine, double* cosine);

// Correctly rounded sine and cosine: the fast path, then the slow path.
void sinCos(double theta, double* sine, double* cosine);

void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n);

}  // namespace sincos_scalar

namespace sincos_slow {

// |x| * 2/pi modulo 4 for |x| = mantissa * 2^exponent (mantissa < 2^53),
// in fixed point: z[fractionLimbs] is the integer part (0 to 3) and
// z[0 .. fractionLimbs-1] the fraction, least significant limb first. The
// value is truncated: the exact one lies in [z, z + 2^(-32 fractionLimbs)).
// Needs 1 <= fractionLimbs <= maxFractionLimbs and exponent <= 971.
constexpr int maxFractionLimbs = 32;
void quarterTurns(std::uint64_t mantissa, int exponent, int fractionLimbs, std::uint32_t* z);

// Correctly rounded sine and cosine in exact integer arithmetic, for
// 2^-27 <= |theta| < infinity: Taylor series on the argument reduced by
// pi/2 in fixed point with 128 bits, then 256, 512 and 1024 until the
// rounding of both results is decided. Returns the number of fraction bits
// of the last attempt.
int sinCos(double theta, double* sine, double* cosine);

// One attempt of the above with the given number of 32-bit fraction limbs,
// one of 4, 8, 16 and 32: true when both results are decided, and then
// correctly rounded. Any other count attempts nothing and returns false.
bool sinCosWithLimbs(double theta, int fractionLimbs, double* sine, double* cosine);

}  // namespace sincos_slow

namespace sincos_avx2 {
void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n);
}

namespace sincos_avx512 {
void fillSinCos(const double* theta, double* sine, double* cosine, std::int64_t n);
}

}  // namespace spectrogrid

#endif
