// The AVX2 kernels: four doubles per vector. Frequency lanes: a register
// block of one vector by six frames (12 accumulators of the 16 registers);
// frame lanes: two vectors of frames by two frequencies. Compiled with
// -mavx2 only; runs only where the processor and the system support AVX2.
#include "kernels.h"
#include "sincos_internal.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx2 {

namespace {

using V = __m256d;
constexpr int lanes = 4;
constexpr int frequencyVectors = 1;
constexpr int frequencyFrames = 6;
constexpr int frameVectors = 2;
constexpr int frameFrequencies = 2;

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

void transposeSquare(V* rows) {
    const V t0 = _mm256_unpacklo_pd(rows[0], rows[1]);
    const V t1 = _mm256_unpackhi_pd(rows[0], rows[1]);
    const V t2 = _mm256_unpacklo_pd(rows[2], rows[3]);
    const V t3 = _mm256_unpackhi_pd(rows[2], rows[3]);
    rows[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    rows[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    rows[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    rows[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

void batchSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    sincos_avx2::fillSinCos(theta, sine, cosine, n);
}

}  // namespace

#include "kernel_body.h"

const KernelSet kernels = {InstructionSet::avx2, "avx2", lanes, frequencyVectors, frequencyFrames,
                           frameVectors, frameFrequencies, accumulateFrequencyLaneUnit,
                           accumulateFrameLaneUnit, threadWorkspace, batchSinCos,
                           {1.0, 0.8, 0.25, 0.5, 40.0}};

}  // namespace avx2
}  // namespace spectrogrid

#endif
