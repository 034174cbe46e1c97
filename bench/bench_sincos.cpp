// Nanoseconds per table entry of the sine-cosine routine, one thread:
// the platform's sincos against ours in every instruction set this
// processor runs, on the arguments twiddle tables form (|theta| up to 3e5)
// and on [-2 pi, 2 pi].
//
//   bench_sincos [entries per pass, default 16384] [rounds, default 15]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/kernel_sets.h"
#include "driver/instruction_sets.h"
#include "sincos/sincos.h"

namespace {


void platformSinCos(const double* theta, double* sine, double* cosine, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) {
#if defined(__GLIBC__)
        ::sincos(theta[i], &sine[i], &cosine[i]);
#else
        sine[i] = std::sin(theta[i]);
        cosine[i] = std::cos(theta[i]);
#endif
    }
}

// angularSteps[i] * f as the core forms them, for rows of a table with a
// 100000-sample window at 48 kHz and frequencies up to the Nyquist one.
std::vector<double> twiddleArguments(std::size_t count, std::mt19937_64& rng) {
    const double rate = 48000.0;
    const std::int64_t window = 100000;
    std::uniform_real_distribution<double> frequency(0.0, rate / 2);
    std::vector<double> theta;
    while (theta.size() < count) {
        const double f = frequency(rng);
        const std::int64_t start = static_cast<std::int64_t>(rng() % window);
        for (std::int64_t i = start; i < window && theta.size() < count; ++i)
            theta.push_back(static_cast<double>(i) / rate * 6.283185307179586 * f);
    }
    return theta;
}

struct Variant {
    std::string name;
    const spectrogrid::KernelSet* set;  // null: the platform's sincos
    double best;
};

void measure(const char* title, const std::vector<double>& theta, int rounds) {
    const std::int64_t n = static_cast<std::int64_t>(theta.size());
    std::vector<double> sine(n), cosine(n);
    std::vector<Variant> variants = {{"platform sincos", nullptr, 1e300}};
    for (int s = spectrogrid::kernelSetCount - 1; s >= 0; --s) {
        variants.push_back({std::string("ours, ") + spectrogrid::kernelSets[s]->name, spectrogrid::kernelSets[s], 1e300});
    }
    // Rounds interleave the variants, so that a busy spell of the machine
    // hurts all of them alike; the best round counts.
    for (int round = 0; round < rounds + 1; ++round) {
        for (Variant& v : variants) {
            if (v.set != nullptr && !spectrogrid::instructionSetSupported(v.set->set)) continue;
            const auto start = std::chrono::steady_clock::now();
            if (v.set == nullptr) platformSinCos(theta.data(), sine.data(), cosine.data(), n);
            else v.set->fillSinCos(theta.data(), sine.data(), cosine.data(), n);
            const auto stop = std::chrono::steady_clock::now();
            const double ns = std::chrono::duration<double, std::nano>(stop - start).count() / n;
            if (round > 0) v.best = std::min(v.best, ns);  // round 0 warms up
        }
    }
    std::printf("%s (%lld entries, best of %d rounds)\n", title, static_cast<long long>(n), rounds);
    for (const Variant& v : variants) {
        if (v.best == 1e300) {
            std::printf("  %-16s   not supported by this processor\n", v.name.c_str());
            continue;
        }
        std::printf("  %-16s %7.2f ns/entry   speed-up %5.2f\n", v.name.c_str(), v.best, variants[0].best / v.best);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t entries = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 16384;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    std::printf("one thread; widest instruction set here: %s\n",
                spectrogrid::instructionSetName(spectrogrid::bestInstructionSet()));
    std::mt19937_64 rng(1);
    measure("twiddle arguments, |theta| < 3.2e5", twiddleArguments(entries, rng), rounds);
    std::uniform_real_distribution<double> turn(-2 * M_PI, 2 * M_PI);
    std::vector<double> small(entries);
    for (double& x : small) x = turn(rng);
    measure("uniform in [-2 pi, 2 pi]", small, rounds);
    return 0;
}
