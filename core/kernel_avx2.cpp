// The AVX2 kernel: four frequencies per vector, a register block of one
// vector by six frames (12 accumulators of the 16 registers). Compiled with
// -mavx2 only; runs only where the processor and the system support AVX2.
#include "kernels.h"
#include "sincos.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx2 {

namespace {

using V = __m256d;
constexpr int lanes = vectorLanes;

V zero() { return _mm256_setzero_pd(); }
V load(const double* p) { return _mm256_loadu_pd(p); }
V broadcast(const double* p) { return _mm256_broadcast_sd(p); }
void store(double* p, V v) { _mm256_storeu_pd(p, v); }
V mul(V a, V b) { return _mm256_mul_pd(a, b); }
V add(V a, V b) { return _mm256_add_pd(a, b); }
V sub(V a, V b) { return _mm256_sub_pd(a, b); }

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

}  // namespace

#include "kernel_body.h"

}  // namespace avx2
}  // namespace spectrogrid

#else

namespace spectrogrid {
namespace avx2 {
// Never chosen on other processors.
void accumulateShare(const KernelTask&) {}
}  // namespace avx2
}  // namespace spectrogrid

#endif
