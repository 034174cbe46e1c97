// Writes core/fast/generated/kernel_table.h: the spreading kernels of the
// fast mode and what their error is, computed with MPFR at 160 bits.
//
//   g++ -O2 scripts/fast_kernel_table.cpp -lmpfr -lgmp -o /tmp/fast_kernel_table
//   /tmp/fast_kernel_table > core/fast/generated/kernel_table.h
//
// The fast mode approximates, for a sample at centred offset n' of a frame
// and a frequency at grid position N*nu = l0 + delta (0 <= delta < 1) of an
// FFT of length N, with t = n'/N,
//
//   exp(-2 pi i nu n') ~ psi(t) * sum_{j=-h}^{h-1} phi(delta + j) * exp(-2 pi i n' (l0 - j) / N)
//
// where phi(z) = exp(beta * (sqrt(1 - (2z/w)^2) - 1)) is the "exponential of
// semicircle" kernel of even width w = 2h and psi(t) = 1 / sum_{j=-h}^{h}
// phi(j) cos(2 pi t j) its deconvolution, from the kernel's values at the
// integers (stored here as doubles and used as those doubles). Dividing by
// exp(-2 pi i nu n'), the relative error is
//
//   e(t, delta) = | 1 - psi(t) * sum_{j=-h}^{h-1} phi(delta + j) exp(2 pi i t (delta + j)) |
//
// which depends on t and delta only, not on N, L or nu; e(-t, delta) =
// e(t, delta) = e(t, 1 - delta) (phi is even). For each width and each bound
// tau on |t| this writes the largest e over a grid of 129 values of t in
// [0, tau] by 257 values of delta in [0, 1/2], times 1.25: the error varies
// smoothly between grid points and a grid twice as fine raises the maximum
// by less than that (the program checks it and stops otherwise). Beside it:
// the largest psi (the deconvolution's gain) and the largest sum of the
// kernel over the taps of one frequency, which the rounding bounds use.
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr int bits = 160;
constexpr int widths[] = {4, 6, 8, 10, 12, 14, 16};
constexpr int widthCount = 7;
constexpr double tauBounds[] = {0.25, 0.1875, 0.125};
constexpr int tauCount = 3;
constexpr double betaPerWidth = 2.30;
constexpr double margin = 1.25;

struct Scratch {
    mpfr_t a, b, c, s, re, im, sum, two, pi2;
    Scratch() {
        for (mpfr_ptr x : {a, b, c, s, re, im, sum, two, pi2}) mpfr_init2(x, bits);
        mpfr_const_pi(pi2, MPFR_RNDN);
        mpfr_mul_ui(pi2, pi2, 2, MPFR_RNDN);
    }
};

// phi(z) for |z| <= w/2, into out.
void kernel(Scratch& k, mpfr_t out, double z, int w, double beta) {
    mpfr_set_d(k.a, z, MPFR_RNDN);
    mpfr_mul_ui(k.a, k.a, 2, MPFR_RNDN);
    mpfr_div_ui(k.a, k.a, w, MPFR_RNDN);
    mpfr_sqr(k.a, k.a, MPFR_RNDN);
    mpfr_ui_sub(k.a, 1, k.a, MPFR_RNDN);
    if (mpfr_sgn(k.a) < 0) mpfr_set_ui(k.a, 0, MPFR_RNDN);
    mpfr_sqrt(k.a, k.a, MPFR_RNDN);
    mpfr_sub_ui(k.a, k.a, 1, MPFR_RNDN);
    mpfr_mul_d(k.a, k.a, beta, MPFR_RNDN);
    mpfr_exp(out, k.a, MPFR_RNDN);
}

// The kernel at the integers 0..h, rounded to doubles (what the core uses).
void integerValues(Scratch& k, int w, double beta, double* values) {
    for (int j = 0; j <= w / 2; ++j) {
        kernel(k, k.c, j, w, beta);
        values[j] = mpfr_get_d(k.c, MPFR_RNDN);
    }
}

// 1 / psi(t) from the double values.
void deconvolution(Scratch& k, mpfr_t out, double t, int w, const double* values) {
    mpfr_set_d(out, values[0], MPFR_RNDN);
    for (int j = 1; j <= w / 2; ++j) {
        mpfr_set_d(k.a, t, MPFR_RNDN);
        mpfr_mul_ui(k.a, k.a, j, MPFR_RNDN);
        mpfr_mul(k.a, k.a, k.pi2, MPFR_RNDN);
        mpfr_cos(k.a, k.a, MPFR_RNDN);
        mpfr_mul_d(k.a, k.a, 2.0 * values[j], MPFR_RNDN);
        mpfr_add(out, out, k.a, MPFR_RNDN);
    }
}

double errorAt(Scratch& k, double t, double delta, int w, double beta, const double* values) {
    const int h = w / 2;
    mpfr_set_ui(k.re, 0, MPFR_RNDN);
    mpfr_set_ui(k.im, 0, MPFR_RNDN);
    for (int j = -h; j < h; ++j) {
        const double z = delta + j;  // exact: delta has few bits
        kernel(k, k.b, z, w, beta);
        mpfr_set_d(k.a, t, MPFR_RNDN);
        mpfr_mul_d(k.a, k.a, z, MPFR_RNDN);
        mpfr_mul(k.a, k.a, k.pi2, MPFR_RNDN);
        mpfr_sin_cos(k.s, k.c, k.a, MPFR_RNDN);
        mpfr_mul(k.c, k.c, k.b, MPFR_RNDN);
        mpfr_mul(k.s, k.s, k.b, MPFR_RNDN);
        mpfr_add(k.re, k.re, k.c, MPFR_RNDN);
        mpfr_add(k.im, k.im, k.s, MPFR_RNDN);
    }
    deconvolution(k, k.sum, t, w, values);
    mpfr_div(k.re, k.re, k.sum, MPFR_RNDN);
    mpfr_div(k.im, k.im, k.sum, MPFR_RNDN);
    mpfr_ui_sub(k.re, 1, k.re, MPFR_RNDN);
    mpfr_hypot(k.a, k.re, k.im, MPFR_RNDN);
    return mpfr_get_d(k.a, MPFR_RNDU);
}

double largestError(Scratch& k, double tau, int w, double beta, const double* values, int tSteps,
                    int deltaSteps) {
    double largest = 0.0;
    for (int a = 0; a <= tSteps; ++a) {
        const double t = tau * a / tSteps;
        for (int b = 0; b <= deltaSteps; ++b) {
            const double e = errorAt(k, t, 0.5 * b / deltaSteps, w, beta, values);
            if (e > largest) largest = e;
        }
    }
    return largest;
}

}  // namespace

int main() {
    Scratch k;
    double values[widthCount][9] = {};
    double betas[widthCount], massBound[widthCount], errors[widthCount][tauCount],
        gains[widthCount][tauCount];
    for (int i = 0; i < widthCount; ++i) {
        const int w = widths[i];
        betas[i] = betaPerWidth * w;
        integerValues(k, w, betas[i], values[i]);
        // The kernel's sum over the taps of one frequency, largest over delta.
        double mass = 0.0;
        for (int b = 0; b <= 512; ++b) {
            mpfr_set_ui(k.sum, 0, MPFR_RNDN);
            for (int j = -w / 2; j < w / 2; ++j) {
                kernel(k, k.c, b / 512.0 + j, w, betas[i]);
                mpfr_add(k.sum, k.sum, k.c, MPFR_RNDN);
            }
            const double m = mpfr_get_d(k.sum, MPFR_RNDU);
            if (m > mass) mass = m;
        }
        massBound[i] = mass * 1.01;
        for (int q = 0; q < tauCount; ++q) {
            const double coarse = largestError(k, tauBounds[q], w, betas[i], values[i], 64, 128);
            const double fine = largestError(k, tauBounds[q], w, betas[i], values[i], 128, 256);
            if (fine > coarse * 1.1) {
                std::fprintf(stderr, "width %d tau %g: grid too coarse (%g, %g)\n", w, tauBounds[q],
                             coarse, fine);
                return 1;
            }
            errors[i][q] = fine * margin;
            // The deconvolution is largest at the edge |t| = tau (its
            // denominator falls monotonically on [0, 1/4]); checked on the grid.
            double gain = 0.0;
            for (int a = 0; a <= 1024; ++a) {
                deconvolution(k, k.sum, tauBounds[q] * a / 1024, w, values[i]);
                mpfr_ui_div(k.sum, 1, k.sum, MPFR_RNDU);
                const double g = mpfr_get_d(k.sum, MPFR_RNDU);
                if (g > gain) gain = g;
            }
            gains[i][q] = gain * 1.01;
            std::fprintf(stderr, "w %2d tau %.4f: error %.3e (coarse %.3e) gain %.4f mass %.4f\n", w,
                         tauBounds[q], fine, coarse, gain, mass);
        }
    }

    std::printf("// Generated by scripts/fast_kernel_table.cpp with MPFR; do not edit.\n");
    std::printf("// The spreading kernels of the fast mode: see that program for what each\n");
    std::printf("// number means and how it was found.\n");
    std::printf("#ifndef SPECTROGRID_CORE_FAST_GENERATED_KERNEL_TABLE_H\n");
    std::printf("#define SPECTROGRID_CORE_FAST_GENERATED_KERNEL_TABLE_H\n\n");
    std::printf("namespace spectrogrid {\nnamespace fast_tables {\n\n");
    std::printf("inline constexpr int widthCount = %d;\ninline constexpr int tauCount = %d;\n\n",
                widthCount, tauCount);
    std::printf("// Bounds on |t| = |n'| / N the columns below hold for.\n");
    std::printf("inline constexpr double tauBounds[tauCount] = {");
    for (int q = 0; q < tauCount; ++q) std::printf("%s%a", q ? ", " : "", tauBounds[q]);
    std::printf("};\n\n");
    std::printf("struct Kernel {\n    int width;          // taps per frequency, even\n");
    std::printf("    double beta;        // phi(z) = exp(beta * (sqrt(1 - (2z/width)^2) - 1))\n");
    std::printf("    double atIntegers[9];   // phi(0), phi(1), ..., phi(width/2)\n");
    std::printf("    double mass;        // bound on the sum of phi over the taps of one frequency\n");
    std::printf("    double error[tauCount];  // bound on e(t, delta) for |t| <= tauBounds[q]\n");
    std::printf("    double gain[tauCount];   // bound on psi(t) for |t| <= tauBounds[q]\n};\n\n");
    std::printf("inline constexpr Kernel kernels[widthCount] = {\n");
    for (int i = 0; i < widthCount; ++i) {
        std::printf("    {%d, %a,\n     {", widths[i], betas[i]);
        for (int j = 0; j < 9; ++j) std::printf("%s%a", j ? ", " : "", values[i][j]);
        std::printf("},\n     %a,\n     {", massBound[i]);
        for (int q = 0; q < tauCount; ++q) std::printf("%s%a", q ? ", " : "", errors[i][q]);
        std::printf("},\n     {");
        for (int q = 0; q < tauCount; ++q) std::printf("%s%a", q ? ", " : "", gains[i][q]);
        std::printf("}},\n");
    }
    std::printf("};\n\n}  // namespace fast_tables\n}  // namespace spectrogrid\n\n#endif\n");
    return 0;
}
