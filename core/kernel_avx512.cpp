// The AVX-512 kernel: eight frequencies per vector, a register block of two
// vectors by six frames (24 accumulators of the 32 registers). Compiled with
// -mavx512f -mavx512dq only; runs only where the processor and the system
// support them. Multiplications and additions stay separate instructions:
// nothing here asks for a fused multiply-add.
#include "kernels.h"
#include "sincos.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace spectrogrid {
namespace avx512 {

namespace {

using V = __m512d;
constexpr int lanes = vectorLanes;

V zero() { return _mm512_setzero_pd(); }
V load(const double* p) { return _mm512_loadu_pd(p); }
V broadcast(const double* p) { return _mm512_set1_pd(*p); }
void store(double* p, V v) { _mm512_storeu_pd(p, v); }
V mul(V a, V b) { return _mm512_mul_pd(a, b); }
V add(V a, V b) { return _mm512_add_pd(a, b); }
V sub(V a, V b) { return _mm512_sub_pd(a, b); }

__mmask8 firstLanes(int n) { return static_cast<__mmask8>((1u << n) - 1u); }

// Masked moves: lanes past n neither fault nor touch memory.
V loadFirst(const double* p, int n) { return _mm512_maskz_loadu_pd(firstLanes(n), p); }
void storeFirst(double* p, V v, int n) { _mm512_mask_storeu_pd(p, firstLanes(n), v); }

}  // namespace

#include "kernel_body.h"

}  // namespace avx512
}  // namespace spectrogrid

#else

namespace spectrogrid {
namespace avx512 {
// Never chosen on other processors.
void accumulateShare(const KernelTask&) {}
}  // namespace avx512
}  // namespace spectrogrid

#endif
