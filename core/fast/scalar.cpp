// The fast mode's portable bodies: fast-inl.h compiled with the target's
// baseline flags, for every processor (the vectors of eight lanes become
// what the baseline has: SSE2 pairs on x86, NEON pairs on 64-bit ARM).
#include <cstdint>
#include <cstring>

#include "fast/fast.h"
#include "simd/operations.h"

// Vectors wider than the set passes in registers stay inside this file.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"

namespace spectrogrid {
namespace fast {
namespace scalar {

#include "fast/fast-inl.h"

}  // namespace scalar
}  // namespace fast
}  // namespace spectrogrid
