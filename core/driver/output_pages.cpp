// Fresh output memory made ready for the kernels' writes.
//
// A large result is memory the process has never touched: its first write
// to each 4 KiB page takes a page fault, and for outputs of hundreds of MiB
// those faults can cost more than the arithmetic. Asking for transparent
// huge pages (2 MiB, one fault each) where the system grants them on
// request, and then touching every page once with the threads of the call,
// takes the faults in few large steps and on every thread at once.
#include "spectrogrid.h"

#include <cstdint>

#include "driver/threads.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace spectrogrid {

namespace {

constexpr std::int64_t hugePageBytes = std::int64_t{2} << 20;
constexpr std::int64_t pageBytes = 4096;
// Below this a buffer faults in quickly enough on one thread.
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
    // One write in every 4 KiB of the buffer reaches every page it spans:
    // offsets 0, 4096, ... and the last byte.
    volatile char* const bytesOf = static_cast<char*>(data);
    const std::int64_t touches = (bytes + pageBytes - 1) / pageBytes;
    runParallelRange(touches, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t t = begin; t < end; ++t) {
            const std::int64_t at = t * pageBytes < bytes - 1 ? t * pageBytes : bytes - 1;
            bytesOf[at] = 0;
        }
    });
}

}  // namespace spectrogrid
