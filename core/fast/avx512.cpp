// The fast mode's bodies for the avx512 instruction set: fast-inl.h compiled
// with this set's flags only (core/CMakeLists.txt).
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
namespace avx512 {

#include "fast/fast-inl.h"

}  // namespace avx512
}  // namespace fast
}  // namespace spectrogrid
