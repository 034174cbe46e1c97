// The portable kernel: one frequency per "vector", so it runs on every
// processor; the register block of 2 frequencies by 2 frames still keeps
// eight independent sums in flight.
#include "kernels.h"
#include "sincos.h"

namespace spectrogrid {
namespace scalar {

namespace {

using V = double;
constexpr int lanes = vectorLanes;

V zero() { return 0.0; }
V load(const double* p) { return *p; }
V broadcast(const double* p) { return *p; }
void store(double* p, V v) { *p = v; }
V loadFirst(const double* p, int) { return *p; }
void storeFirst(double* p, V v, int) { *p = v; }
V mul(V a, V b) { return a * b; }
V add(V a, V b) { return a + b; }
V sub(V a, V b) { return a - b; }

}  // namespace

#include "kernel_body.h"

}  // namespace scalar
}  // namespace spectrogrid
