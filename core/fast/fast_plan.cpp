// The fast mode's plan: which path a call takes, the FFT length and kernel,
// the bound on the error, the modelled costs and the workspace layout; and
// the kernel's values (its own exponential, the same bits everywhere).
//
// The bound, per unit of S = sum_n |y(n)| of one real channel, u = 2^-53,
// gamma(k) = k u / (1 - k u). With E, Psi (the largest psi), Phi (the
// largest tap sum of phi) from the kernel table and A = Psi * Phi:
//
//  kernel     E: the approximation in exact arithmetic (kernel_table.h),
//             proven over the whole range of t and delta by
//             scripts/fast_kernel_table.cpp; Psi and Phi proven there too.
//  samples    each ytilde(n') = fl(x * fl(w * psihat)) is y psi (1 + rho_s):
//             psihat = fl(1 / Dhat), Dhat the sum phi(0) + sum_j 2 phi(j) cos
//             of h + 1 terms with cosines from the twiddle table (error mu
//             each), so |Dhat - D| <= (gamma(h+1) + mu) Phi0 (1 + mu), Phi0 =
//             phi(0) + 2 sum_j phi(j) and D >= 1 / Psi; then three roundings.
//             Relative errors of the samples pass through a map whose
//             gain per sample, |psi * (sum over the taps)|, is at most 1 + E:
//             rho_s (1 + E).
//  FFT        a stage forms sums of four inputs (two roundings per part),
//             then multiplies by a twiddle w-hat, |w-hat - w| <= mu = 10u (the
//             angle fl(fl(k/N) 2pi), k < N, is within 2pi * 1.35u: fl(2pi) is
//             within 0.35u of 2pi, the product one rounding; the sine and
//             cosine correctly rounded add u): error <= eta * (sum of |inputs|),
//             eta = (1+u)^2 (1 + sqrt2 gamma(2)(1+mu) + mu) - 1, the complex
//             product without fused multiply-add within sqrt2 gamma(2).
//             Every output depends on each input through one path of unit
//             weights, so over the S4 radix-4 and S2 radix-2 stages of the
//             complex transform of length N/2 of z(m) = y(2m) + i y(2m+1),
//             |Zhat - Z| <= e_Z sum|z| <= e_Z sum|ytilde|, e_Z = (1 + eta)^S4
//             (1 + u)^S2 - 1, and |Z| <= sum|ytilde|. The real spectrum
//             Y(l) = E + w^l O, E = (Z(l) + b)/2, O = (Z(l) - b)/2i, b =
//             conj Z(N/2 - l): E and O within (e_Z + u(1 + e_Z)) sum|ytilde|
//             each, the product within (sqrt2 gamma(2)(1 + mu) + mu), the sum
//             one rounding: eps_fft = (2 + mu)(e_Z + u(1 + e_Z)) +
//             (sqrt2 gamma(2)(1+mu) + mu)(1 + e_Z + u) + 2u(1 + e_Z + u)(1 + mu),
//             and |Yhat(l) - Y(l)| <= eps_fft * sum|ytilde| <= eps_fft Psi (1 + rho_s) S.
//  taps       w products and sums in one accumulator per part: gamma(w)
//             sum phi |Yhat|; weights from kernelValue: each within
//             19u |a| e^a + 6u phi (a = beta (s - 1), s >= 1/2: the argument
//             within 19u relative, the exponential within 6u); for s < 1/2,
//             1 - q within D = 9u puts s within min(sqrt D, D/s), so phi
//             within beta e^(beta (s-1)) min(sqrt D, D/s) <= beta max(2D
//             e^(-beta/2), sqrt D e^(-beta)) (largest at s = 1/2 or s =
//             sqrt D); with |a| e^a <= 1/e their sum is at most rho_w =
//             7.0u w + 6.01u Phi + w beta max(2D e^(-beta/2), sqrt D e^(-beta)).
//             Together A (1 + rho_s) [eps_fft + (1 + eps_fft)(gamma(w) + rho_w / Phi)].
//  radix 3, 5 lengths N = 2^a 3^b 5^c (a >= 3) not a power of two: the
//             complex transform takes radix-4 stages, then radix 5, then
//             radix 3, then the last radix 2. A radix-3 or radix-5 stage is
//             an exact small DFT (unit-modulus weights, so again every output
//             depends on each input through one path and |out| <= sum|in|);
//             computed, each input's term x w (w = cos t - i sin t, or 1)
//             reaches an output along at most six roundings and one rounded
//             constant (radix 5: b + e, c1 * (b + e), the sum with c2 (c +
//             d), a + it, the final +- i(...); radix 3 fewer), so its real
//             part is off by at most gamma(7) (|cos t x_r| + |sin t x_i|), its
//             imaginary part likewise, and the term by at most sqrt(1 +
//             |sin 2t|) gamma(7) |x| <= sqrt2 gamma(7) |x|. With the twiddle
//             product after it: eta_odd = (1 + sqrt2 gamma(7))(1 + sqrt2
//             gamma(2)(1 + mu) + mu) - 1 per stage, multiplied into e_Z as
//             the radix-4 stages are. The twiddles' angles fl(fl(k/N) 2pi)
//             carry the rounding of k/N too: within 2pi 2.4u, so mu = 16u.
//  frequency  nu = f/fs is reduced exactly (fmod), held as a double-double;
//             the grid offset delta is within 2u, which is the exact sum at
//             a frequency within 2u/N, a phase error of at most 2 pi (1/4) 2u
//             per sample: (pi + 1) u (1 + E) with the double-double's own.
//             For N not a power of two, N nu is formed from the exact product
//             N * high (p + e) and N * low: delta = ((p - floor p) + e) + N
//             low within 4u, so (2 pi + 1) u (1 + E).
//  phase      exp(-2 pi i nu c) within 30u (the fraction of nu c within
//             3u, the angle within 2pi 1.2u more, correctly rounded sine and
//             cosine), and the complex product: (30u + sqrt2 gamma(2)(1 + 30u))
//             times the accumulated value, itself within (1 + E)(1 + rho_s)
//             plus the tap terms.
// The sum of the terms, times 1.0001 for the roundings of this evaluation
// and the neglected products of small terms, is FastPlan::bound.
//
// The direct path (few frequencies at a tolerance the exact mode's own
// rounding would miss): the exact mode's kernels, every product and sum as
// there, fed with twiddles whose phase is reduced exactly
// (fillTwiddlePanels in accumulate/units-inl.h). Per unit of S, for a
// window of L <= 2^23 samples (n < 2^23), tau the twiddles' error:
//  twiddles   nu = f/fs is held as high + low within 2^-106 of the exact
//             ratio, |low| <= u |high| (fillReducedRatios). high n = p + e
//             exactly, |e| <= u 2^23; p - rint(p) is exact, a = fl(that +
//             e) and b = fl(a + fl(low n)) have |a|, |b| <= 1/2 + 2^-29, and
//             g = b - rint(b) is exact: g is within u (1/2 + 2^-30) + u (1/2
//             + 2^-29) + u^2 n + 2^-106 n <= 1.001u of frac(nu n) (mod 1),
//             |g| <= 1/2. The angle fl(g fl(2 pi)), |fl(2 pi) - 2 pi| <=
//             2.21u: within 2 pi 1.001u + (1/2) 2.21u + pi u = 10.54u of
//             2 pi frac(nu n); the sine and cosine correctly rounded add u
//             to the modulus: |w-hat - w| <= tau = 11.6u, |w-hat| <= 1 + u.
//  products   p-hat = fl(x w) = y (1 + d), |d| <= u: u (1 + tau) S with
//             the twiddles.
//  sums       each part a sum from +0 of L products, each rounded, in one
//             accumulator: within gamma(L) sum |p-hat| |c-hat| (|s-hat| for
//             the other); the modulus of the two within gamma(L) sum |p-hat|
//             |w-hat| <= gamma(L) (1 + u) (1 + tau) S (the triangle
//             inequality for the vectors (|p-hat c-hat|, |p-hat s-hat|)).
// directBound(L) = (tau + u (1 + tau) + gamma(L) (1 + u) (1 + tau)) * 1.0001
// for the roundings of this evaluation: about (L + 12.6) u. Windows over
// 2^23 samples never take it (the exact products of the phase need n < 2^25).
//
// A complex signal is taken as two real channels A, B combined as A + iB,
// which adds sqrt2 u (1 + bound)(S_a + S_b), and S_a + S_b <= sqrt2 S: its
// target is tol / sqrt2 - 1.5u.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fast/fast.h"
#include "fast/generated/kernel_table.h"

namespace spectrogrid {
namespace fast {

namespace {

constexpr double unitRoundoff = 0x1p-53;

double gamma(double k) { return k * unitRoundoff / (1.0 - k * unitRoundoff); }

// Modelled costs, in cells of the exact kernel (one frequency, frame and
// window sample), fitted to single-thread timings of both paths on AVX-512
// (AMD Zen 4; bench/fast_mode): per batch of `lanes` frames, an FFT costs
// fftCells * N log2 N, the windowed fill fillCells * N, the taps and the
// output tapCells * K w; per call, a twiddle or kernel value setupCells.
// The fast path is taken when it is modelled at most fastShare of the
// exact path's cost: a wrong choice of the fast path costs more than a
// missed one.
constexpr double fftCells = 15.0;
constexpr double fillCells = 16.0;
constexpr double tapCells = 22.0;
constexpr double setupCells = 40.0;
// The direct path runs the exact kernels: it costs what the exact path
// does.
constexpr double fastShare = 0.8;

// The largest window the fast paths take: N stays within 2^25, and the
// direct path's phases are exact.
constexpr std::int32_t largestFastWindow = std::int32_t{1} << 23;

struct Choice {
    bool feasible;
    std::int32_t kernelIndex;
    double bound;
    double cost;
};

// The stages of the complex transform of length N/2 by radix.
struct Stages {
    int radix4, radix2, radix5, radix3;
};

Stages stagesOf(std::int32_t N) {
    Stages stages = {0, 0, 0, 0};
    std::int32_t n = N / 2;
    for (; n % 4 == 0; n /= 4) ++stages.radix4;
    for (; n % 5 == 0; n /= 5) ++stages.radix5;
    for (; n % 3 == 0; n /= 3) ++stages.radix3;
    if (n == 2) stages.radix2 = 1;
    return stages;
}

bool isPowerOfTwo(std::int32_t N) { return (N & (N - 1)) == 0; }

// The operations of a radix-3 or radix-5 stage per element, against a
// radix-4 stage's two units of log2 N (each counted: 28 per three elements,
// 72 per five, 34 per four).
constexpr double radix3Units = 2.2;
constexpr double radix5Units = 3.4;

double modelledCost(std::int32_t N, std::int32_t width, std::int32_t L, std::int32_t K,
                    std::int32_t M, std::int32_t P) {
    const double batches = std::ceil(static_cast<double>(M) / lanes) * P;
    // log2 N for a power of two.
    const Stages stages = stagesOf(N);
    const double log2N = 1 + 2 * stages.radix4 + stages.radix2 + radix5Units * stages.radix5 +
                         radix3Units * stages.radix3;
    const double perBatch = fftCells * N * log2N + fillCells * N + tapCells * static_cast<double>(K) * width;
    const double setup = setupCells * (static_cast<double>(N) + static_cast<double>(K) * width) + static_cast<double>(L) * width;
    return batches * perBatch + setup;
}

std::int32_t tauIndexFor(std::int32_t L, std::int32_t N) {
    const double tau = static_cast<double>(L / 2) / N;
    std::int32_t index = 0;
    for (int q = 0; q < fast_tables::tauCount; ++q) {
        if (tau <= fast_tables::tauBounds[q]) index = q;
    }
    return index;
}

// The narrowest kernel within `target` at this FFT length.
Choice chooseKernel(std::int32_t N, std::int32_t L, std::int32_t K, std::int32_t M,
                    std::int32_t P, double target) {
    const std::int32_t tau = tauIndexFor(L, N);
    for (int i = 0; i < fast_tables::widthCount; ++i) {
        const double bound = roundingBound(N, i, tau) + fast_tables::kernels[i].error[tau];
        if (bound <= target) {
            const std::int32_t width = fast_tables::kernels[i].width;
            return {true, i, bound, modelledCost(N, width, L, K, M, P)};
        }
    }
    return {false, 0, 0.0, 0.0};
}

}  // namespace

double kernelExp(double a) {
    // a = k ln2 + r, |r| <= ln2/2 + tiny; ln2High has 32 significant bits,
    // so k * ln2High is exact for |k| < 2^21.
    constexpr double log2e = 1.4426950408889634;
    constexpr double ln2High = 6.93147180369123816490e-01;
    constexpr double ln2Low = 1.90821492927058770002e-10;
    const double k = std::floor(a * log2e + 0.5);
    const double r = (a - k * ln2High) - k * ln2Low;
    // Taylor series to r^13: the remainder is below 2^-57 for |r| <= 0.35.
    constexpr double inverseFactorials[14] = {
        1.0, 1.0, 0.5, 1.0 / 6, 1.0 / 24, 1.0 / 120, 1.0 / 720, 1.0 / 5040, 1.0 / 40320,
        1.0 / 362880, 1.0 / 3628800, 1.0 / 39916800, 1.0 / 479001600, 1.0 / 6227020800.0};
    double p = inverseFactorials[13];
    for (int i = 12; i >= 0; --i) p = p * r + inverseFactorials[i];
    // p * 2^k, -94 <= k <= 0: the power of two built from its bits (a
    // normal number, so the product is exact, as ldexp's).
    const std::uint64_t bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(k) + 1023) << 52;
    double scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return p * scale;
}

double kernelValue(std::int32_t kernelIndex, double z) {
    const fast_tables::Kernel& kernel = fast_tables::kernels[kernelIndex];
    const double r = z * (2.0 / kernel.width);
    const double q = r * r;
    // beta (sqrt(1 - q) - 1) written without cancellation.
    const double s = q < 1.0 ? std::sqrt(1.0 - q) : 0.0;
    return kernelExp(-((kernel.beta * q) / (1.0 + s)));
}

double roundingBound(std::int32_t fftLength, std::int32_t kernelIndex, std::int32_t tauIndex) {
    const fast_tables::Kernel& kernel = fast_tables::kernels[kernelIndex];
    const double u = unitRoundoff;
    const double E = kernel.error[tauIndex];
    const double Psi = kernel.gain[tauIndex];
    const double Phi = kernel.mass;
    const double A = Psi * Phi;
    const int h = kernel.width / 2;
    const bool powerOfTwo = isPowerOfTwo(fftLength);
    const double mu = (powerOfTwo ? 10.0 : 16.0) * u;

    double Phi0 = kernel.atIntegers[0];
    for (int j = 1; j <= h; ++j) Phi0 += 2.0 * kernel.atIntegers[j];
    const double rhoD = (gamma(h + 1) + mu) * Phi0 * (1.0 + mu) * Psi;
    const double rhoS = (rhoD * 1.001 + 3.0 * u) * 1.001;

    // The complex transform of length N/2, then the real spectrum from it.
    const Stages stages = stagesOf(fftLength);
    const double product = std::sqrt(2.0) * gamma(2) * (1.0 + mu) + mu;
    const double eta = (1.0 + u) * (1.0 + u) * (1.0 + product) - 1.0;
    const double etaOdd = (1.0 + std::sqrt(2.0) * gamma(7)) * (1.0 + product) - 1.0;
    double growth = 1.0;
    for (int s = 0; s < stages.radix4; ++s) growth *= 1.0 + eta;
    for (int s = 0; s < stages.radix5 + stages.radix3; ++s) growth *= 1.0 + etaOdd;
    for (int s = 0; s < stages.radix2; ++s) growth *= 1.0 + u;
    const double epsHalf = growth - 1.0;
    const double epsFft = (2.0 + mu) * (epsHalf + u * (1.0 + epsHalf)) + product * (1.0 + epsHalf + u) +
                          2.0 * u * (1.0 + epsHalf + u) * (1.0 + mu);

    const double beta = kernel.beta;
    const double D = 9.0 * u;
    const double edge = std::fmax(2.0 * D * kernelExp(-beta / 2), std::sqrt(D) * kernelExp(-beta));
    const double rhoW = 7.0 * u * kernel.width + 6.01 * u * Phi + kernel.width * beta * edge * 1.01;
    const double taps = A * (1.0 + rhoS) * (epsFft + (1.0 + epsFft) * (gamma(kernel.width) + rhoW / Phi));
    const double samples = rhoS * (1.0 + E);
    const double frequency = ((powerOfTwo ? 1.0 : 2.0) * 3.1415926535897932 + 1.0) * u * (1.0 + E);
    const double accumulated = (1.0 + E) * (1.0 + rhoS) + taps;
    const double phase = (30.0 * u + std::sqrt(2.0) * gamma(2) * (1.0 + 30.0 * u)) * accumulated;
    return (samples + taps + frequency + phase) * 1.0001;
}

double directBound(std::int32_t windowLength) {
    const double u = unitRoundoff;
    const double tau = 11.6 * u;
    return (tau + u * (1.0 + tau) + gamma(windowLength) * (1.0 + u) * (1.0 + tau)) * 1.0001;
}

FastPlan planFast(std::int32_t L, std::int32_t K, std::int32_t M, std::int32_t P, bool complexSignal,
                  double maxRatio, double tolerance, int threads, Preference preference) {
    FastPlan plan = {};
    plan.exactBound = (1.5 * L + 21.0 * maxRatio * L) * unitRoundoff;
    plan.exactCost = static_cast<double>(K) * L * M * P;
    if (!(tolerance > 0.0) || L < 1 || K < 1 || M < 1 || P < 1 || L > largestFastWindow) return plan;

    const double target = complexSignal ? tolerance / std::sqrt(2.0) - 1.5 * unitRoundoff : tolerance;
    std::int32_t N = 16;
    while (N < 2 * L) N *= 2;
    // The shortest FFT, and the next length, whose narrower kernel may pay.
    Choice best = chooseKernel(N, L, K, M, P, target);
    std::int32_t bestN = N;
    const Choice longer = chooseKernel(2 * N, L, K, M, P, target);
    if (longer.feasible && (!best.feasible || longer.cost < best.cost)) {
        best = longer;
        bestN = 2 * N;
    }
    // The lengths 2^a 3^b 5^c (a >= 3, b + c > 0) from 2L up to 2N, where
    // one is cheaper still (the smallest of equal costs).
    for (std::int64_t odd5 = 1; odd5 * 8 < 2 * std::int64_t{N}; odd5 *= 5) {
        for (std::int64_t odd = odd5; odd * 8 < 2 * std::int64_t{N}; odd *= 3) {
            if (odd == 1) continue;
            std::int64_t candidate = odd * 8;
            while (candidate < 2 * std::int64_t{L}) candidate *= 2;
            if (candidate >= 2 * std::int64_t{N}) continue;
            const std::int32_t length = static_cast<std::int32_t>(candidate);
            const Choice choice = chooseKernel(length, L, K, M, P, target);
            if (choice.feasible && (!best.feasible || choice.cost < best.cost ||
                                    (choice.cost == best.cost && length < bestN))) {
                best = choice;
                bestN = length;
            }
        }
    }
    const bool directFeasible = directBound(L) <= target;
    plan.fastCost = best.feasible ? best.cost : plan.exactCost;

    // The choice: the FFT path where it pays; else the exact path where it
    // keeps the promise; else the direct path (the exact path's cost)
    // where it does; else the FFT path where it reaches the tolerance;
    // else the exact path, the most accurate there is (toleranceAttainable
    // refuses such a call).
    bool direct;
    if (preference == Preference::nufft || preference == Preference::direct) {
        direct = preference == Preference::direct;
        if (direct ? !directFeasible : !best.feasible) return plan;
    } else if (best.feasible && best.cost <= fastShare * plan.exactCost) {
        direct = false;
    } else if (plan.exactBound <= tolerance) {
        return plan;
    } else if (directFeasible) {
        direct = true;
    } else if (best.feasible) {
        direct = false;
    } else {
        return plan;
    }

    const auto rounded = [](std::int64_t n) { return (n + 7) / 8 * 8; };
    plan.fast = true;
    plan.direct = direct;
    if (direct) {
        // Workspace: the reduced ratio of every frequency (tapStride = 2
        // doubles each), then from threadOffset the exact kernels' own
        // (planFastFor adds its length).
        plan.fastCost = plan.exactCost;
        plan.bound = directBound(L);
        plan.tapOffset = 0;
        plan.tapStride = 2;
        plan.threadOffset = rounded(2 * std::int64_t{K});
        plan.length = plan.threadOffset;
        return plan;
    }
    plan.fastCost = best.cost;
    plan.fftLength = bestN;
    plan.kernelIndex = best.kernelIndex;
    plan.width = fast_tables::kernels[best.kernelIndex].width;
    plan.tauIndex = tauIndexFor(L, bestN);
    plan.centre = L / 2;
    plan.bound = best.bound;
    // Workspace: every block starts on a 64-byte boundary of the workspace.
    plan.twiddleOffset = 0;
    plan.windowOffset = rounded(2 * std::int64_t{bestN});
    plan.tapOffset = plan.windowOffset + rounded(L);
    plan.tapStride = 3 + plan.width;
    plan.threadOffset = plan.tapOffset + rounded(std::int64_t{K} * plan.tapStride);
    plan.threadLength = rounded(2 * (std::int64_t{bestN} + plan.width) * elementDoubles +
                                std::int64_t{frequencyChunk} * elementDoubles);
    plan.length = plan.threadOffset + std::int64_t{threads} * plan.threadLength;
    return plan;
}

const FastKernels& fastKernelsFor(InstructionSet set) {
#if defined(__x86_64__) || defined(__i386__)
    if (set == InstructionSet::avx512) return avx512::kernels;
    if (set == InstructionSet::avx2) return avx2::kernels;
#else
    (void)set;
#endif
    return scalar::kernels;
}

}  // namespace fast
}  // namespace spectrogrid
