// What the core's tests share: the thread counts to try, and planes too
// large for memory whose elements past index 2^31 the tests still reach.
#ifndef SPECTROGRID_TESTS_CORE_TEST_SUPPORT_H
#define SPECTROGRID_TESTS_CORE_TEST_SUPPORT_H

#include <cstddef>
#include <cstdint>

#if defined(SPECTROGRID_OPENMP)
#include <omp.h>
#endif

#if !defined(_WIN32)
#include <sys/mman.h>
#endif

// The thread counts a test tries: 1 to 4 in the parallel form, 1 in the
// serial one.
#if defined(SPECTROGRID_OPENMP)
constexpr int mostThreads = 4;
inline void useThreads(int threads) { omp_set_num_threads(threads); }
#else
constexpr int mostThreads = 1;
inline void useThreads(int) {}
#endif

#if !defined(_WIN32)
// K x frames real and imaginary planes with K = 2^26 and frequencies for
// them, as address space only: the pages a test touches are backed by
// memory, the rest never. `reserved` is false where the system refuses.
struct HugePlanes {
    static constexpr std::int64_t K = std::int64_t{1} << 26;
    std::int32_t frames;
    std::size_t planeBytes;
    double* real;
    double* imag;
    double* frequencies;
    bool reserved;

    explicit HugePlanes(std::int32_t frameCount)
        : frames(frameCount), planeBytes(static_cast<std::size_t>(K) * frameCount * sizeof(double)) {
        real = reserve(planeBytes);
        imag = reserve(planeBytes);
        frequencies = reserve(static_cast<std::size_t>(K) * sizeof(double));
        reserved = real != nullptr && imag != nullptr && frequencies != nullptr;
    }
    HugePlanes(const HugePlanes&) = delete;
    HugePlanes& operator=(const HugePlanes&) = delete;
    ~HugePlanes() {
        if (real != nullptr) munmap(real, planeBytes);
        if (imag != nullptr) munmap(imag, planeBytes);
        if (frequencies != nullptr) munmap(frequencies, static_cast<std::size_t>(K) * sizeof(double));
    }

private:
    static double* reserve(std::size_t bytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        return p == MAP_FAILED ? nullptr : static_cast<double*>(p);
    }
};
#endif

#endif
