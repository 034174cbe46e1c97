// The portable kernel: one frequency per "vector", so it runs on every
// processor; its register block of 2 frequencies by 2 frames still keeps
// eight independent sums in flight. With one lane there is nothing to gain
// from frame lanes: it has no such kernel.
#include "accumulate/kernels.h"
#include "simd/operations.h"
#include "sincos/internal.h"

namespace spectrogrid {
namespace scalar {

namespace {

using V = double;
constexpr int lanes = 1;
constexpr int frequencyVectors = 2;
constexpr int frequencyFrames = 2;
constexpr int frameVectors = 1;
constexpr int frameFrequencies = 0;
constexpr int ownFrameVectors = 1;
constexpr int ownFrameFrequencies = 0;

V zero() { return 0.0; }
V load(const double* p) { return *p; }
void store(double* p, V v) { *p = v; }
V loadFirst(const double* p, int) { return *p; }
void storeFirst(double* p, V v, int) { *p = v; }
V mul(V a, V b) { return a * b; }
V add(V a, V b) { return a + b; }
V sub(V a, V b) { return a - b; }
V mulSample(V v, const double* p) { return v * *p; }
void storeColumns(const double* first, std::int64_t, double* out, std::int64_t) { *out = *first; }
constexpr int turnedRows = 1;
void loadColumns(const double* first, std::int64_t, V (&out)[turnedRows]) { out[0] = *first; }

void batchSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    sincos_scalar::fillSinCos(theta, sine, cosine, n);
}

}  // namespace

#include "accumulate-inl.h"

const KernelSet kernels = {InstructionSet::scalar, "scalar", lanes, frequencyVectors,
                           frequencyFrames, frameVectors, frameFrequencies,
                           accumulateFrequencyLaneUnit, accumulateFrameLaneUnit, threadWorkspace,
                           batchSinCos, {1.0, 0.0, 0.5, 0.0, 44.0, 0.75}, accumulateOwnWindowUnit,
                           ownWindowWorkspace};

}  // namespace scalar
}  // namespace spectrogrid
