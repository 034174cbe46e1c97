// The AVX-512 kernels: eight doubles per vector. Frequency lanes: a
// register block of two vectors by six frames (24 accumulators of the 32
// registers); frame lanes: two vectors of frames by four frequencies.
// Compiled with -mavx512f -mavx512dq only; runs only where the processor
// and the system support them. Multiplications and additions stay separate
// instructions: nothing here asks for a fused multiply-add.
#include "accumulate/kernels.h"
#include "sincos/internal.h"

// GCC 12 warns about its own intrinsics (the undefined first operand).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace spectrogrid {
namespace avx512 {
namespace {
// The vector width and register blocks, also where the set cannot run.
constexpr int lanes = 8;
constexpr int frequencyVectors = 2;
constexpr int frequencyFrames = 6;
constexpr int frameVectors = 2;
constexpr int frameFrequencies = 4;
}  // namespace
}  // namespace avx512
}  // namespace spectrogrid

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx512 {

namespace {

using V = __m512d;
using Index = std::int64_t;

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

// Samples [0, lanes) of `lanes` frames that start `hop` doubles apart at
// `first`, one vector per sample (frames in lanes), sample i's at
// out + i * stride. Pairs of samples come from 128-bit loads, four frames
// to a vector.
void storeColumns(const double* first, Index hop, double* out, Index stride) {
    for (int i = 0; i < lanes; i += 2) {
        V even = _mm512_castpd128_pd512(_mm_loadu_pd(first + i));
        V odd = _mm512_castpd128_pd512(_mm_loadu_pd(first + hop + i));
        even = _mm512_insertf64x2(even, _mm_loadu_pd(first + 2 * hop + i), 1);
        odd = _mm512_insertf64x2(odd, _mm_loadu_pd(first + 3 * hop + i), 1);
        even = _mm512_insertf64x2(even, _mm_loadu_pd(first + 4 * hop + i), 2);
        odd = _mm512_insertf64x2(odd, _mm_loadu_pd(first + 5 * hop + i), 2);
        even = _mm512_insertf64x2(even, _mm_loadu_pd(first + 6 * hop + i), 3);
        odd = _mm512_insertf64x2(odd, _mm_loadu_pd(first + 7 * hop + i), 3);
        _mm512_storeu_pd(out + i * stride, _mm512_unpacklo_pd(even, odd));
        _mm512_storeu_pd(out + (i + 1) * stride, _mm512_unpackhi_pd(even, odd));
    }
}

void batchSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    sincos_avx512::fillSinCos(theta, sine, cosine, n);
}

}  // namespace

#include "accumulate-inl.h"

const KernelSet kernels = {InstructionSet::avx512, "avx512", lanes, frequencyVectors,
                           frequencyFrames, frameVectors, frameFrequencies,
                           accumulateFrequencyLaneUnit, accumulateFrameLaneUnit, threadWorkspace,
                           batchSinCos, {0.85, 0.55, 3.5, 2.0, 31.0}};

}  // namespace avx512
}  // namespace spectrogrid

#else

namespace spectrogrid {
namespace avx512 {
// Other processors have no AVX-512: the set is described, so that plans can be
// made for it, but never chosen.
namespace {
void noUnit(const KernelTask&, const UnitRange&, double*) {}
std::int64_t noWorkspace(const AccumulationPlan&) { return 0; }
void noSinCos(const double*, double*, double*, std::int64_t) {}
}  // namespace
const KernelSet kernels = {InstructionSet::avx512, "avx512", lanes, frequencyVectors, frequencyFrames, frameVectors,
                           frameFrequencies, noUnit, noUnit, noWorkspace,
                           noSinCos, {0.85, 0.55, 3.5, 2.0, 31.0}};
}  // namespace avx512
}  // namespace spectrogrid

#endif
