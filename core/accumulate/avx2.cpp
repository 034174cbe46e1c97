// The AVX2 kernels: four doubles per vector. Frequency lanes: a register
// block of one vector by six frames (12 accumulators of the 16 registers);
// frame lanes: two vectors of frames by two frequencies; frame lanes with a
// window for each frequency: two vectors by three frequencies (12
// accumulators), as each sample vector there meets a window product per
// frequency and the broadcasts of three panel entries, and wider blocks
// share each sample vector and table among more frequencies (measured on
// AMD Zen 4: 2 x 3 about 8% faster than 2 x 2, 3 x 2 and 1 x 4 slower).
// Compiled with -mavx2 only; runs only where the processor and the system support AVX2.
#include "accumulate/kernels.h"
#include "simd/operations.h"
#include "sincos/internal.h"

namespace spectrogrid {
namespace avx2 {
namespace {
// The vector width and register blocks, also where the set cannot run.
constexpr int lanes = 4;
constexpr int frequencyVectors = 1;
constexpr int frequencyFrames = 6;
constexpr int frameVectors = 2;
constexpr int frameFrequencies = 2;
constexpr int ownFrameVectors = 2;
constexpr int ownFrameFrequencies = 3;
}  // namespace
}  // namespace avx2
}  // namespace spectrogrid

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx2 {

namespace {

using V = __m256d;
using Index = std::int64_t;

V zero() { return _mm256_setzero_pd(); }
V load(const double* p) { return _mm256_loadu_pd(p); }
void store(double* p, V v) { _mm256_storeu_pd(p, v); }
V mul(V a, V b) { return _mm256_mul_pd(a, b); }
V add(V a, V b) { return _mm256_add_pd(a, b); }
V sub(V a, V b) { return _mm256_sub_pd(a, b); }

// A broadcast from memory costs no arithmetic port here; the compiler
// shares one between the products that use the same sample.
V mulSample(V v, const double* p) { return _mm256_mul_pd(v, _mm256_broadcast_sd(p)); }

// Partial moves go through a small buffer: only the first n doubles of
// memory are ever touched.
V loadFirst(const double* p, int n) {
    double buffer[lanes] = {0.0, 0.0, 0.0, 0.0};
    for (int l = 0; l < n; ++l) buffer[l] = p[l];
    return _mm256_loadu_pd(buffer);
}

void storeFirst(double* p, V v, int n) {
    double buffer[lanes];
    _mm256_storeu_pd(buffer, v);
    for (int l = 0; l < n; ++l) p[l] = buffer[l];
}

// Samples [0, lanes) of `lanes` frames that start `hop` doubles apart at
// `first`, one vector per sample (frames in lanes), sample i's at
// out + i * stride. Pairs of samples come from two 128-bit loads per pair
// of frames.
void storeColumns(const double* first, Index hop, double* out, Index stride) {
    for (int i = 0; i < lanes; i += 2) {
        const V even = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(first + i)),
                                            _mm_loadu_pd(first + 2 * hop + i), 1);
        const V odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(first + hop + i)),
                                           _mm_loadu_pd(first + 3 * hop + i), 1);
        _mm256_storeu_pd(out + i * stride, _mm256_unpacklo_pd(even, odd));
        _mm256_storeu_pd(out + (i + 1) * stride, _mm256_unpackhi_pd(even, odd));
    }
}

// Samples [0, turnedRows) of `lanes` frames that start `hop` doubles apart
// at `first`, one vector per sample (frames in lanes), in registers: a
// 128-bit load per frame, then one round of shuffles. Two samples at a
// time leave registers for the accumulators of two vectors of frames.
constexpr int turnedRows = 2;

inline __attribute__((always_inline)) void loadColumns(const double* first, Index hop, V (&out)[turnedRows]) {
    const V even = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(first)),
                                        _mm_loadu_pd(first + 2 * hop), 1);
    const V odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(first + hop)),
                                       _mm_loadu_pd(first + 3 * hop), 1);
    out[0] = _mm256_unpacklo_pd(even, odd);
    out[1] = _mm256_unpackhi_pd(even, odd);
}

void batchSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    sincos_avx2::fillSinCos(theta, sine, cosine, n);
}

}  // namespace

#include "accumulate-inl.h"

const KernelSet kernels = {InstructionSet::avx2, "avx2", lanes, frequencyVectors, frequencyFrames,
                           frameVectors, frameFrequencies, accumulateFrequencyLaneUnit,
                           accumulateFrameLaneUnit, threadWorkspace, batchSinCos,
                           {0.75, 0.40, 3.5, 2.0, 38.0, 0.75}, accumulateOwnWindowUnit, ownWindowWorkspace,
                           ownFrameFrequencies};

}  // namespace avx2
}  // namespace spectrogrid

#else

namespace spectrogrid {
namespace avx2 {
// Other processors have no AVX2: the set is described, so that plans can be
// made for it, but never chosen.
namespace {
void noUnit(const KernelTask&, const UnitRange&, double*) {}
std::int64_t noWorkspace(const AccumulationPlan&) { return 0; }
void noSinCos(const double*, double*, double*, std::int64_t) {}
}  // namespace
const KernelSet kernels = {InstructionSet::avx2, "avx2", lanes, frequencyVectors, frequencyFrames, frameVectors,
                           frameFrequencies, noUnit, noUnit, noWorkspace,
                           noSinCos, {0.75, 0.40, 3.5, 2.0, 38.0, 0.75}, noUnit, noWorkspace,
                           ownFrameFrequencies};
}  // namespace avx2
}  // namespace spectrogrid

#endif
