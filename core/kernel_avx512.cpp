// The AVX-512 kernels: eight doubles per vector. Frequency lanes: a
// register block of two vectors by six frames (24 accumulators of the 32
// registers); frame lanes: two vectors of frames by four frequencies.
// Compiled with -mavx512f -mavx512dq only; runs only where the processor
// and the system support them. Multiplications and additions stay separate
// instructions: nothing here asks for a fused multiply-add.
#include "kernels.h"
#include "sincos_internal.h"

// GCC 12 warns about its own intrinsics (the undefined first operand).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx512 {

namespace {

using V = __m512d;
constexpr int lanes = 8;
constexpr int frequencyVectors = 2;
constexpr int frequencyFrames = 6;
constexpr int frameVectors = 2;
constexpr int frameFrequencies = 4;

V zero() { return _mm512_setzero_pd(); }
V load(const double* p) { return _mm512_loadu_pd(p); }
void store(double* p, V v) { _mm512_storeu_pd(p, v); }
V mul(V a, V b) { return _mm512_mul_pd(a, b); }
V add(V a, V b) { return _mm512_add_pd(a, b); }
V sub(V a, V b) { return _mm512_sub_pd(a, b); }

// The product with a broadcast memory operand, one instruction: a separate
// broadcast would take an arithmetic port on some processors.
V mulSample(V v, const double* p) {
    V product;
    __asm__("vmulpd %1%{1to8%}, %2, %0" : "=v"(product) : "m"(*p), "v"(v));
    return product;
}

__mmask8 firstLanes(int n) { return static_cast<__mmask8>((1u << n) - 1u); }

// Masked moves: lanes past n neither fault nor touch memory.
V loadFirst(const double* p, int n) { return _mm512_maskz_loadu_pd(firstLanes(n), p); }
void storeFirst(double* p, V v, int n) { _mm512_mask_storeu_pd(p, firstLanes(n), v); }

void transposeSquare(V* rows) {
    V t[lanes];
    for (int r = 0; r < lanes; r += 2) {
        t[r] = _mm512_unpacklo_pd(rows[r], rows[r + 1]);
        t[r + 1] = _mm512_unpackhi_pd(rows[r], rows[r + 1]);
    }
    // Pairs of 128-bit lanes, then halves.
    V u[lanes];
    for (int r = 0; r < lanes; r += 4) {
        u[r] = _mm512_shuffle_f64x2(t[r], t[r + 2], 0x88);
        u[r + 1] = _mm512_shuffle_f64x2(t[r + 1], t[r + 3], 0x88);
        u[r + 2] = _mm512_shuffle_f64x2(t[r], t[r + 2], 0xdd);
        u[r + 3] = _mm512_shuffle_f64x2(t[r + 1], t[r + 3], 0xdd);
    }
    for (int r = 0; r < 4; ++r) {
        rows[r] = _mm512_shuffle_f64x2(u[r], u[r + 4], 0x88);
        rows[r + 4] = _mm512_shuffle_f64x2(u[r], u[r + 4], 0xdd);
    }
}

void batchSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    sincos_avx512::fillSinCos(theta, sine, cosine, n);
}

}  // namespace

#include "kernel_body.h"

const KernelSet kernels = {InstructionSet::avx512, "avx512", lanes, frequencyVectors,
                           frequencyFrames, frameVectors, frameFrequencies,
                           accumulateFrequencyLaneUnit, accumulateFrameLaneUnit, threadWorkspace,
                           batchSinCos, {1.0, 0.8, 0.25, 0.5, 40.0}};

}  // namespace avx512
}  // namespace spectrogrid

#endif
