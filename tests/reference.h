// A plain, independently written model of the analysis, used as the oracle
// of the core's tests. Every product goes through a volatile store, so no
// compiler setting can fuse it with the following addition: if the core ever
// forms a fused multiply-add, the comparison with this model fails. The
// twiddles are the correctly rounded sine and cosine from MPFR.
#ifndef SPECTROGRID_TESTS_REFERENCE_H
#define SPECTROGRID_TESTS_REFERENCE_H

#if defined(SPECTROGRID_REFERENCE_MPFR)
#include <mpfr.h>
#else
#include "sincos/sincos.h"
#endif

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace reference {

inline double roundedProduct(double a, double b) {
    volatile double product = a * b;
    return product;
}

#if defined(SPECTROGRID_REFERENCE_MPFR)
// sin(theta) and cos(theta) rounded to nearest double, subnormal results
// included; NaN for NaN and infinite arguments.
inline void correctlyRoundedSinCos(double theta, double* sine, double* cosine) {
    if (!std::isfinite(theta)) {
        *sine = std::numeric_limits<double>::quiet_NaN();
        *cosine = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    // Exponent range of doubles, so that mpfr_subnormalize rounds results
    // below 2^-1022 as a double would.
    const mpfr_exp_t savedMin = mpfr_get_emin();
    const mpfr_exp_t savedMax = mpfr_get_emax();
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_t x, y;
    mpfr_init2(x, 53);
    mpfr_init2(y, 53);
    mpfr_set_d(x, theta, MPFR_RNDN);
    int inexact = mpfr_sin(y, x, MPFR_RNDN);
    inexact = mpfr_subnormalize(y, inexact, MPFR_RNDN);
    *sine = mpfr_get_d(y, MPFR_RNDN);
    inexact = mpfr_cos(y, x, MPFR_RNDN);
    mpfr_subnormalize(y, inexact, MPFR_RNDN);
    *cosine = mpfr_get_d(y, MPFR_RNDN);
    mpfr_clear(x);
    mpfr_clear(y);
    mpfr_set_emin(savedMin);
    mpfr_set_emax(savedMax);
}
#else
// Cross builds have no MPFR: there the project's own routine stands in, whose
// correct rounding the native tests establish against MPFR.
inline void correctlyRoundedSinCos(double theta, double* sine, double* cosine) {
    spectrogrid::sinCos(theta, sine, cosine);
}
#endif

struct Plan {
    std::int32_t hop = 0;
    std::int32_t frameCount = 0;
};

// Hop and frame count as defined, then lowered one by one until the last
// frame ends inside the signal.
inline Plan plan(std::int64_t N, std::int64_t L, double overlap) {
    Plan result;
    if (!std::isfinite(overlap)) return result;
    const double span = static_cast<double>(L) - overlap;
    if (!(span > -2147483649.0 && span < 2147483648.0)) return result;
    const std::int64_t hop = static_cast<std::int64_t>(std::trunc(span));
    result.hop = static_cast<std::int32_t>(hop);
    if (hop < 1 || L < 1) return result;
    double frames = std::floor((static_cast<double>(N) - overlap) / static_cast<double>(hop));
    if (!(frames > 0)) return result;
    if (frames > 2147483647.0) frames = 2147483647.0;
    std::int64_t count = static_cast<std::int64_t>(frames);
    while (count > 0 && (count - 1) * hop + L > N) --count;
    result.frameCount = static_cast<std::int32_t>(count);
    return result;
}

struct Result {
    Plan plan;
    std::vector<double> angularSteps;
    std::vector<double> times;
    std::vector<double> real;
    std::vector<double> imag;
    std::vector<double> lastCos;  // twiddles of the last frequency
    std::vector<double> lastSin;
};

inline Result analyse(const std::vector<double>& signal, const std::vector<double>& window,
                      double overlap, const std::vector<double>& frequencies, double sampleRate) {
    Result r;
    const std::int64_t N = static_cast<std::int64_t>(signal.size());
    const std::int64_t L = static_cast<std::int64_t>(window.size());
    const std::int64_t K = static_cast<std::int64_t>(frequencies.size());
    r.plan = plan(N, L, overlap);
    const std::int64_t frames = r.plan.frameCount;

    r.angularSteps.resize(L);
    for (std::int64_t i = 0; i < L; ++i) {
        const double perSample = static_cast<double>(i) / sampleRate;
        r.angularSteps[i] = roundedProduct(perSample, 6.283185307179586);
    }
    r.times.resize(frames);
    for (std::int64_t j = 0; j < frames; ++j) {
        const double start = static_cast<double>(j * r.plan.hop);
        r.times[j] = (start + static_cast<double>(L) * 0.5) / sampleRate;
    }

    r.real.assign(K * frames, 0.0);
    r.imag.assign(K * frames, 0.0);
    std::vector<double> c(L), s(L);
    for (std::int64_t k = 0; k < K; ++k) {
        for (std::int64_t i = 0; i < L; ++i) {
            const double theta = roundedProduct(r.angularSteps[i], frequencies[k]);
            correctlyRoundedSinCos(theta, &s[i], &c[i]);
        }
        for (std::int64_t j = 0; j < frames; ++j) {
            double re = 0.0;
            double im = 0.0;
            for (std::int64_t i = 0; i < L; ++i) {
                const double p = roundedProduct(signal[j * r.plan.hop + i], window[i]);
                re = re + roundedProduct(p, c[i]);
                im = im - roundedProduct(p, s[i]);
            }
            r.real[k + j * K] = re;
            r.imag[k + j * K] = im;
        }
    }
    if (K > 0) {
        r.lastCos = c;
        r.lastSin = s;
    }
    return r;
}

// A window for each frequency: frame j of frequency k is the plain call's
// frame with that frequency's window, from d_k = floor((L - L_k) / 2)
// samples into frame j of the longest window L's plan. Each row is the
// plain model of the signal from d_k on, cut after the last frame, with
// window k and the overlap that gives the same hop.
inline Result analyseWindows(const std::vector<double>& signal, const std::vector<std::vector<double>>& windows,
                             double overlap, const std::vector<double>& frequencies, double sampleRate) {
    std::size_t longest = 0;
    for (std::size_t k = 0; k < windows.size(); ++k) {
        if (windows[k].size() > windows[longest].size()) longest = k;
    }
    Result r = analyse(signal, windows.empty() ? std::vector<double>() : windows[longest], overlap, {}, sampleRate);
    const std::int64_t K = static_cast<std::int64_t>(frequencies.size());
    const std::int64_t M = r.plan.frameCount;
    const std::int64_t L = static_cast<std::int64_t>(r.angularSteps.size());
    r.real.assign(K * M, 0.0);
    r.imag.assign(K * M, 0.0);
    for (std::int64_t k = 0; k < K; ++k) {
        const std::int64_t length = static_cast<std::int64_t>(windows[k].size());
        const std::int64_t d = (L - length) / 2;
        std::vector<double> part;
        if (M > 0) part.assign(signal.begin() + d, signal.begin() + d + (M - 1) * r.plan.hop + length);
        const Result row = analyse(part, windows[k], static_cast<double>(length - r.plan.hop), {frequencies[k]},
                                   sampleRate);
        if (row.plan.frameCount != M) return Result();  // not the frames of the call: fails any comparison
        for (std::int64_t j = 0; j < M; ++j) {
            r.real[k + j * K] = row.real[j];
            r.imag[k + j * K] = row.imag[j];
        }
        r.lastCos = row.lastCos;
        r.lastSin = row.lastSin;
    }
    return r;
}

inline bool sameBits(const std::vector<double>& a, const double* b, std::size_t n) {
    return a.size() == n && (n == 0 || std::memcmp(a.data(), b, n * sizeof(double)) == 0);
}

#if defined(SPECTROGRID_REFERENCE_MPFR) && defined(__SIZEOF_FLOAT128__)
#define SPECTROGRID_REFERENCE_EXACT_SUMS 1
// The mathematically exact coefficients the fast mode is held to, within
// about 2^-100 of S: the phase 2 pi (f n mod fs) / fs found with MPFR (fmod
// is exact), its sine and cosine to 110 bits, and the sum over n of the
// exact products x(n) w(n) (exact in 113 bits) times them in __float128.
struct ExactTwiddles {
    std::vector<__float128> cosine, sine;  // of 2 pi f n / fs, n < L
};

inline ExactTwiddles exactTwiddles(double f, double fs, std::int64_t L) {
    ExactTwiddles t;
    t.cosine.resize(L);
    t.sine.resize(L);
    mpfr_t product, rate, remainder, angle, s, c, pi2;
    mpfr_inits2(1200, product, remainder, (mpfr_ptr)nullptr);
    mpfr_inits2(240, rate, angle, s, c, pi2, (mpfr_ptr)nullptr);
    mpfr_set_d(rate, fs, MPFR_RNDN);
    mpfr_const_pi(pi2, MPFR_RNDN);
    mpfr_mul_ui(pi2, pi2, 2, MPFR_RNDN);
    for (std::int64_t n = 0; n < L; ++n) {
        mpfr_set_d(product, f, MPFR_RNDN);
        mpfr_mul_si(product, product, static_cast<long>(n), MPFR_RNDN);  // exact
        mpfr_fmod(remainder, product, rate, MPFR_RNDN);                  // exact
        mpfr_div(angle, remainder, rate, MPFR_RNDN);
        mpfr_mul(angle, angle, pi2, MPFR_RNDN);
        mpfr_sin_cos(s, c, angle, MPFR_RNDN);
        const auto quad = [](mpfr_t x) {
            const double high = mpfr_get_d(x, MPFR_RNDN);
            mpfr_sub_d(x, x, high, MPFR_RNDN);
            return static_cast<__float128>(high) + static_cast<__float128>(mpfr_get_d(x, MPFR_RNDN));
        };
        t.cosine[n] = quad(c);
        t.sine[n] = quad(s);
    }
    mpfr_clears(product, remainder, rate, angle, s, c, pi2, (mpfr_ptr)nullptr);
    return t;
}

// sum_n y(n) exp(-i theta_n) for one real frame y = x * w (products exact).
inline void exactCoefficient(const double* x, std::int64_t step, const double* w, std::int64_t L,
                             const ExactTwiddles& t, __float128* re, __float128* im) {
    __float128 sr = 0, si = 0;
    for (std::int64_t n = 0; n < L; ++n) {
        const __float128 y = static_cast<__float128>(x[n * step]) * static_cast<__float128>(w[n]);
        sr += y * t.cosine[n];
        si -= y * t.sine[n];
    }
    *re = sr;
    *im = si;
}
#endif

}  // namespace reference

#endif
