// Fresh output memory made ready for the kernels' writes.
//
// A large result is memory the process has never touched: its first write
// to each 4 KiB page takes a page fault, and for outputs of hundreds of MiB
// those faults can cost more than the arithmetic. Where the system grants
// transparent huge pages on request, a 2 MiB page takes one fault for what
// would take 512. The kernels' own first writes then fault the pages in,
// each on the thread that writes it: touching the pages beforehand in a
// pass of its own was measured slower, with huge pages and without.
#include "spectrogrid_core.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace spectrogrid {

namespace {

constexpr std::int64_t hugePageBytes = std::int64_t{2} << 20;
// Below this a buffer holds few whole huge pages.
constexpr std::int64_t preparedFrom = 4 * hugePageBytes;

}  // namespace

void prepareOutput(void* data, std::int64_t bytes) {
    if (data == nullptr || bytes < preparedFrom) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only the whole huge pages inside the buffer: advice on the rest would
    // change how the allocator's neighbouring memory is backed. Where the
    // system refuses, nothing changes but speed.
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t mask = static_cast<std::uintptr_t>(hugePageBytes - 1);
    const std::uintptr_t begin = (first + mask) & ~mask;
    const std::uintptr_t end = (first + static_cast<std::uintptr_t>(bytes)) & ~mask;
    if (begin < end) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace spectrogrid
