// Randomized analysis inputs for the tests: signals, windows, overlaps
// (integral, fractional, zero, negative) and frequencies (unsorted,
// repeated, negative, zero, above the sample rate).
#ifndef SPECTROGRID_TESTS_RANDOM_INPUTS_H
#define SPECTROGRID_TESTS_RANDOM_INPUTS_H

#include <random>
#include <vector>

struct RandomCase {
    std::vector<double> signal, window, frequencies;
    double overlap = 0;
    double sampleRate = 1;
};

inline std::vector<double> randomValues(std::mt19937_64& rng, std::size_t n, double scale) {
    std::normal_distribution<double> normal(0.0, scale);
    std::vector<double> values(n);
    for (double& v : values) v = normal(rng);
    return values;
}

inline RandomCase randomCase(std::mt19937_64& rng, int N, int L, int K) {
    RandomCase c;
    c.signal = randomValues(rng, N, 1.0);
    c.window = randomValues(rng, L, 0.5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double rates[] = {1.0, 2.0, 44100.0, 48000.0, 1e-3, 7.3};
    c.sampleRate = rates[rng() % 6];
    c.frequencies.resize(K);
    for (int k = 0; k < K; ++k) {
        switch (rng() % 6) {
            case 0: c.frequencies[k] = 0.0; break;
            case 1: c.frequencies[k] = -unit(rng) * c.sampleRate; break;
            case 2: c.frequencies[k] = unit(rng) * 3.0 * c.sampleRate; break;  // above the rate
            case 3: c.frequencies[k] = k > 0 ? c.frequencies[k - 1] : 0.5 * c.sampleRate; break;
            default: c.frequencies[k] = unit(rng) * 0.5 * c.sampleRate; break;
        }
    }
    switch (rng() % 5) {
        case 0: c.overlap = 0; break;
        case 1: c.overlap = std::floor(unit(rng) * L); break;                // integral
        case 2: c.overlap = unit(rng) * (L - 1); break;                       // fractional
        case 3: c.overlap = -std::floor(unit(rng) * 3 * L); break;            // gaps
        default: c.overlap = -unit(rng) * L; break;                           // fractional gaps
    }
    return c;
}

#endif
