// The blocked accumulation, written once and compiled once per instruction
// set (scalar.cpp, avx2.cpp, avx512.cpp beside it). Such a source includes
// accumulate/kernels.h, opens its own namespace, defines inside an unnamed
// namespace the operations core/simd/operations.h lists for this body, and
// then includes this file, which brings in its parts in order:
//   coefficients-inl.h     accumulators to and from the coefficient planes
//   samples-inl.h          the signal decoded, windowed or tabled, and the
//                          signal lines asked for ahead
//   frequency_lanes-inl.h  the kernel with frequencies in the lanes
//   frame_lanes-inl.h      the kernel with frames in the lanes
//   units-inl.h            walking a unit, the workspace, and the entry
//                          points accumulateFrequencyLaneUnit,
//                          accumulateFrameLaneUnit and threadWorkspace
//   own_windows-inl.h      frame lanes for frequencies with their own
//                          windows: accumulateOwnWindowUnit and
//                          ownWindowWorkspace
// and here what they all use. Nothing here may use an inline function from
// a library header: a copy compiled with wider instructions could be the
// one the linker keeps for every caller.
//
// Layouts in the thread's workspace, for one window tile of n samples:
//   twiddle panels  block b of blockLanes frequencies, sample i, lane l at
//                   (b * n + i) * blockLanes + l, cosine and sine apart;
//                   lanes past the last frequency hold the twiddles of
//                   frequency 0 (blockLanes is frequencyVectors * lanes for
//                   frequency lanes, frameFrequencies for frame lanes)
//   windowed tile   frequency lanes: frame r, sample i at r * n + i
//   sample table    frame lanes: raw samples, see SampleColumns

namespace {

using Index = std::int64_t;

Index smaller(Index a, Index b) { return a < b ? a : b; }

// Bytes per cache line, for prefetching.
constexpr Index lineBytes = 64;

// A count known when compiling, for withCount.
template <int n>
struct Count {
    static constexpr int value = n;
};

// Calls f(Count<n>{}) for the count n, 1 <= n <= most, known only at run
// time: how a register block of the size at hand, or a smaller one at the
// edge of a unit, is picked from the templates of every size.
template <int most, typename F>
inline void withCount(int n, const F& f) {
    if constexpr (most == 1) {
        f(Count<1>{});
    } else if (n == most) {
        f(Count<most>{});
    } else {
        withCount<most - 1>(n, f);
    }
}

#include "coefficients-inl.h"
#include "samples-inl.h"
#include "frequency_lanes-inl.h"
#include "frame_lanes-inl.h"

}  // namespace

#include "units-inl.h"
#include "own_windows-inl.h"
