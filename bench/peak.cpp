// Peak loops. They are benchmark code, never shipped: the target attributes
// here stand in for per-file flags.
#include "peak.h"

#include <omp.h>

#include <chrono>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr int chains = 12;

// noipa: the loops have no side effect, and the compiler would otherwise be
// free to move them out of the timed interval.

// Half the chains multiply, half add: both kinds of port are fed, as in the
// accumulation (two multiplications and two additions per term).
__attribute__((noipa)) double scalarLoop(std::int64_t rounds) {
    double a[chains];
    for (int r = 0; r < chains; ++r) a[r] = 1.0 + r;
    const double m = 0.9999999, b = 1e-9;
    for (std::int64_t n = 0; n < rounds; ++n) {
#pragma GCC unroll 12
        for (int r = 0; r < chains; r += 2) {
            a[r] = a[r] * m;
            a[r + 1] = a[r + 1] + b;
        }
    }
    double sum = 0.0;
    for (int r = 0; r < chains; ++r) sum = sum + a[r];
    return sum;
}

#if defined(__x86_64__) || defined(__i386__)

__attribute__((target("avx2"), noipa)) double avx2Loop(std::int64_t rounds) {
    __m256d a[chains];
    for (int r = 0; r < chains; ++r) a[r] = _mm256_set1_pd(1.0 + r);
    const __m256d m = _mm256_set1_pd(0.9999999), b = _mm256_set1_pd(1e-9);
    for (std::int64_t n = 0; n < rounds; ++n) {
#pragma GCC unroll 12
        for (int r = 0; r < chains; r += 2) {
            a[r] = _mm256_mul_pd(a[r], m);
            a[r + 1] = _mm256_add_pd(a[r + 1], b);
        }
    }
    __m256d sum = a[0];
    for (int r = 1; r < chains; ++r) sum = _mm256_add_pd(sum, a[r]);
    double lanes[4];
    _mm256_storeu_pd(lanes, sum);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

constexpr int wideChains = 24;

__attribute__((target("avx512f"), noipa)) double avx512Loop(std::int64_t rounds) {
    __m512d a[wideChains];
    for (int r = 0; r < wideChains; ++r) a[r] = _mm512_set1_pd(1.0 + r);
    const __m512d m = _mm512_set1_pd(0.9999999), b = _mm512_set1_pd(1e-9);
    for (std::int64_t n = 0; n < rounds; ++n) {
#pragma GCC unroll 24
        for (int r = 0; r < wideChains; r += 2) {
            a[r] = _mm512_mul_pd(a[r], m);
            a[r + 1] = _mm512_add_pd(a[r + 1], b);
        }
    }
    __m512d sum = a[0];
    for (int r = 1; r < wideChains; ++r) sum = _mm512_add_pd(sum, a[r]);
    double lanes[8];
    _mm512_storeu_pd(lanes, sum);
    double total = 0.0;
    for (double lane : lanes) total = total + lane;
    return total;
}

#endif

// The peak loop of each instruction set: its rounds, and the vector
// operations in one round.
struct PeakLoop {
    spectrogrid::InstructionSet set;
    double (*run)(std::int64_t rounds);
    int operationsPerRound;
};

const PeakLoop peakLoops[] = {
#if defined(__x86_64__) || defined(__i386__)
    {spectrogrid::InstructionSet::avx512, avx512Loop, wideChains},
    {spectrogrid::InstructionSet::avx2, avx2Loop, chains},
#endif
    {spectrogrid::InstructionSet::scalar, scalarLoop, chains},
};

double runLoop(spectrogrid::InstructionSet set, std::int64_t rounds, int* operationsPerRound) {
    for (const PeakLoop& loop : peakLoops) {
        if (loop.set != set) continue;
        *operationsPerRound = loop.operationsPerRound;
        return loop.run(rounds);
    }
    *operationsPerRound = 0;
    return 0.0;
}

}  // namespace

double peakVectorOperations(spectrogrid::InstructionSet set, int threads, std::int64_t rounds,
                            int attempts) {
    double best = 0.0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        double total = 0.0;
#pragma omp parallel num_threads(threads) reduction(+ : total)
        {
            int operations = 0;
            const auto start = std::chrono::steady_clock::now();
            volatile double sink = runLoop(set, rounds, &operations);
            (void)sink;
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            total += static_cast<double>(rounds) * operations / seconds;
        }
        if (total > best) best = total;
    }
    return best;
}
