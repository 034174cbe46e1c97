// The AVX-512 kernels: eight doubles per vector, in two variants that
// differ only in how a sample meets the vectors it multiplies:
//   avx512      each product takes its sample as an embedded-broadcast
//               memory operand: on cores that run a 512-bit operation as
//               two 256-bit halves (AMD Zen 4) a separate broadcast would
//               take an arithmetic port; on Intel's server cores this
//               form issues as fast or faster (modelled:
//               bench/mca_kernels.sh).
//   avx512full  each sample is broadcast once into a register, a load, and
//               every product that uses it is a register multiplication:
//               on AMD's full-width 512-bit units (Zen 5 server and
//               desktop) an embedded broadcast costs about a fifth of the
//               peak (measured).
// Both: frequency lanes, a register block of two vectors by six frames (24
// accumulators, 4 twiddle vectors and one sample of the 32 registers);
// frame lanes, two vectors of frames by four frequencies. Per window sample
// a frequency-lane block issues 24 multiplications and 24 additions against
// 4 twiddle loads and 6 sample loads, so a core with two 512-bit
// multiplication and two addition pipes keeps all four busy. Which variant
// runs is picked once from the processor (driver/instruction_sets.*).
// Compiled with -mavx512f -mavx512dq only; runs only where the processor
// and the system support them. Multiplications and additions stay separate
// instructions: nothing here asks for a fused multiply-add.
#include "accumulate/kernels.h"
#include "simd/operations.h"
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
// Frame lanes with a window for each frequency: the same block (2 x 5,
// 3 x 3 and 1 x 8 measured slower on AMD Zen 4).
constexpr int ownFrameVectors = 2;
constexpr int ownFrameFrequencies = 4;
// The full-width variant's blocks, and its costs in units of its own peak,
// twice the half-width one's: the arithmetic reaches about the same share
// of it, the work beside the arithmetic (windowing, the frame-lane table,
// the twiddles) takes as long as on a half-width core and so counts about
// twice as many cells. Modelled from measurements on AMD Zen 5, not
// measured with this kernel there.
constexpr int fullWidthFrequencyVectors = 2;
constexpr int fullWidthFrequencyFrames = 6;
constexpr int fullWidthFrameVectors = 2;
constexpr int fullWidthFrameFrequencies = 4;
// Its frame-lane figure is a full block's (four frequencies: 8/9), not
// fitted on calls, so partial blocks only are scaled down from it.
constexpr KernelCosts fullWidthCosts = {0.85, 0.55, 7.0, 4.0, 62.0, 8.0 / 9.0};
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

// Samples [0, turnedRows) of `lanes` frames that start `hop` doubles apart
// at `first`, one vector per sample (frames in lanes), in registers. Each
// frame's four samples come as one 256-bit load into a half of a vector;
// two rounds of shuffles (pairs, then 128-bit quarters) finish the turn.
constexpr int turnedRows = 4;

inline __attribute__((always_inline)) void loadColumns(const double* first, Index hop, V (&out)[turnedRows]) {
    const V z0 = _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(first)),
                                    _mm256_loadu_pd(first + 2 * hop), 1);
    const V z1 = _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(first + hop)),
                                    _mm256_loadu_pd(first + 3 * hop), 1);
    const V z2 = _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(first + 4 * hop)),
                                    _mm256_loadu_pd(first + 6 * hop), 1);
    const V z3 = _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(first + 5 * hop)),
                                    _mm256_loadu_pd(first + 7 * hop), 1);
    // Frames (0 1) of samples 0 and 2 in quarters 0, 1 of t0, frames (2 3)
    // in quarters 2, 3; t1 the same of samples 1 and 3; t2, t3 frames 4-7.
    const V t0 = _mm512_unpacklo_pd(z0, z1), t1 = _mm512_unpackhi_pd(z0, z1);
    const V t2 = _mm512_unpacklo_pd(z2, z3), t3 = _mm512_unpackhi_pd(z2, z3);
    out[0] = _mm512_shuffle_f64x2(t0, t2, 0x88);
    out[1] = _mm512_shuffle_f64x2(t1, t3, 0x88);
    out[2] = _mm512_shuffle_f64x2(t0, t2, 0xDD);
    out[3] = _mm512_shuffle_f64x2(t1, t3, 0xDD);
}

// Samples [0, lanes) of `lanes` frames that start `hop` doubles apart at
// `first`, one vector per sample (frames in lanes), sample i's at
// out + i * stride: two turns of loadColumns, each eight 256-bit loads and
// twelve shuffles for four samples, where 128-bit pieces take sixteen.
inline __attribute__((always_inline)) void storeColumns(const double* first, Index hop, double* out, Index stride) {
    for (int i = 0; i < lanes; i += turnedRows) {
        V turned[turnedRows];
        loadColumns(first + i, hop, turned);
        for (int r = 0; r < turnedRows; ++r) _mm512_storeu_pd(out + (i + r) * stride, turned[r]);
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
                           batchSinCos, {0.85, 0.55, 3.5, 2.0, 31.0, 0.75}, accumulateOwnWindowUnit,
                           ownWindowWorkspace, ownFrameFrequencies};

// The full-width variant: the same body, whose names here find the
// broadcast-once product first.
namespace fullWidth {
namespace {
constexpr int frequencyVectors = fullWidthFrequencyVectors;
constexpr int frequencyFrames = fullWidthFrequencyFrames;
constexpr int frameVectors = fullWidthFrameVectors;
constexpr int frameFrequencies = fullWidthFrameFrequencies;

// The sample broadcast into a register (one load); the compiler shares it
// between the products of the same sample.
V mulSample(V v, const double* p) { return _mm512_mul_pd(v, _mm512_set1_pd(*p)); }
}  // namespace

#include "accumulate-inl.h"
}  // namespace fullWidth

const KernelSet fullWidthKernels = {InstructionSet::avx512, "avx512full", lanes,
                                    fullWidthFrequencyVectors, fullWidthFrequencyFrames,
                                    fullWidthFrameVectors, fullWidthFrameFrequencies,
                                    fullWidth::accumulateFrequencyLaneUnit,
                                    fullWidth::accumulateFrameLaneUnit, fullWidth::threadWorkspace,
                                    batchSinCos, fullWidthCosts, fullWidth::accumulateOwnWindowUnit,
                                    fullWidth::ownWindowWorkspace};

}  // namespace avx512
}  // namespace spectrogrid

#else

namespace spectrogrid {
namespace avx512 {
// Other processors have no AVX-512: the sets are described, so that plans can be
// made for them, but never chosen.
namespace {
void noUnit(const KernelTask&, const UnitRange&, double*) {}
std::int64_t noWorkspace(const AccumulationPlan&) { return 0; }
void noSinCos(const double*, double*, double*, std::int64_t) {}
}  // namespace
const KernelSet kernels = {InstructionSet::avx512, "avx512", lanes, frequencyVectors, frequencyFrames, frameVectors,
                           frameFrequencies, noUnit, noUnit, noWorkspace,
                           noSinCos, {0.85, 0.55, 3.5, 2.0, 31.0, 0.75}, noUnit, noWorkspace};
const KernelSet fullWidthKernels = {InstructionSet::avx512, "avx512full", lanes, fullWidthFrequencyVectors,
                                    fullWidthFrequencyFrames, fullWidthFrameVectors, fullWidthFrameFrequencies,
                                    noUnit, noUnit, noWorkspace, noSinCos, fullWidthCosts, noUnit, noWorkspace};
}  // namespace avx512
}  // namespace spectrogrid

#endif
