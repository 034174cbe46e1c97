// Writes core/fast/generated/kernel_table.h: the spreading kernels of the
// fast mode and proven bounds on their error, computed with MPFR at 160 bits.
//
//   g++ -O2 scripts/fast_kernel_table.cpp -lmpfr -lgmp -o /tmp/fast_kernel_table
//   /tmp/fast_kernel_table > core/fast/generated/kernel_table.h
//
// (about two minutes on one core; progress on stderr).
//
// The fast mode approximates, for a sample at centred offset n' of a frame
// and a frequency at grid position N*nu = l0 + delta (0 <= delta < 1) of an
// FFT of length N, with t = n'/N,
//
//   exp(-2 pi i nu n') ~ psi(t) * sum_{j=-h}^{h-1} phi(delta + j) * exp(-2 pi i n' (l0 - j) / N)
//
// where phi(z) = exp(beta * (sqrt(1 - (z/h)^2) - 1)) on [-h, h] is the
// "exponential of semicircle" kernel of even width w = 2h and psi(t) = 1 /
// D(t), D(t) = sum_{j=-h}^{h} v_|j| exp(2 pi i t j), its deconvolution from
// the kernel's values at the integers v_j (stored here as doubles and used as
// those doubles). Dividing by exp(-2 pi i nu n'), the relative error is
//
//   e(t, delta) = |N(t, delta)| / D(t),  N = D(t) - sum_{j=-h}^{h-1} phi(delta + j) exp(2 pi i t (delta + j))
//
// which depends on t and delta only, not on N, L or nu; e(-t, delta) =
// e(t, delta) = e(t, 1 - delta) (phi is even, the taps of 1 - delta are those
// of delta negated), so [0, tau] x [0, 1/2] covers |t| <= tau, 0 <= delta < 1.
//
// The bound on e over that whole rectangle, for each width and tau:
// cover it by cells [tc - s1, tc + s1] x [dc - s2, dc + s2]. On a cell,
//  1. N(tc + a, dc + b) is analytic in (a, b) on the closed complex polydisc
//     |a| <= r1, |b| <= r2 when no tap's disc |z - zc| <= r2 reaches the
//     kernel's branch points z = +-h (checked). There |N| <= M with
//       M = sum_j v_|j| e^(2 pi |j| r1) + sum_taps P_j e^(2 pi (tc r2 + |zc| r1 + r1 r2)),
//     P_j = exp(beta (sqrt|W| - 1)) >= |phi| on the tap's disc, |W| bounded
//     from |Re W| and |Im W| of W = 1 - z^2/h^2 over z = x + iy, x within r2
//     of zc, |y| <= r2 (Re sqrt W <= sqrt|W| on any branch).
//  2. Cauchy's estimate gives |c_kl| <= M r1^-k r2^-l for the Taylor
//     coefficients at the centre, so the terms of order k + l >= p add at most
//       M rho^p ((p + 1) / (1 - rho) + rho / (1 - rho)^2),  rho = max(s1/r1, s2/r2).
//  3. The coefficients of order < p are computed at the centre (each tap
//     phi(zc + b) exp(2 pi i (tc + a)(zc + b)) as a product of series: the
//     kernel's by series sqrt and exp, the exponential's as exp(2 pi i tc zc)
//     exp(2 pi i a zc) exp(2 pi i tc b) exp(2 pi i a b)); over the cell the
//     affine part is largest at a corner (its modulus is convex), the rest
//     is bounded term by term by |c_kl| s1^k s2^l.
//  4. D(tc + a) >= D(tc) - |D'(tc)| s1 - max|D''| s1^2 / 2 on 16 sub-cells of
//     the t-cell, max|D''| <= 2 sum_j v_j (2 pi j)^2; it must stay positive.
// The cell's bound on e is (step 3 + step 2) / step 4; a cell whose bound is above 1.05
// times the largest e met at a centre is split in halves (up to 4 times),
// which only tightens it; the table holds the largest bound kept. phi's
// derivatives are unbounded at the edge z = -h (delta = 0), so the cells in
// delta shrink geometrically towards 0 (r2 = min(1/4, dc/2), s2 <= r2/8),
// down to delta_min, where phi(delta_min - h) <= exp(0.05 - beta); on the
// strip [0, delta_min] the edge tap is left out of steps 1-3 and its whole
// contribution bounded by its largest modulus phi(delta_min - h) (phi falls
// with |z|). Every MPFR operation is within 2^-159 relative; the few
// thousand operations per coefficient on terms below 2^10 keep the
// computed cell bound within 1e-30 of the exact one, which is added; the
// few factors taken in doubles (M, the powers of s, D'') are raised by
// 1 + 1e-12, far above their rounding.
//
// Beside it, also proven: the largest psi (1 / the smallest D, step 4 on
// 4096 cells) and the largest sum of the kernel over the taps of one
// frequency (each phi(delta + j) is monotone for delta in [0, 1/2], so its
// largest value on a cell is at an end; 4096 cells), used by the rounding
// bounds.
#include <mpfr.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr int bits = 160;
constexpr int widths[] = {4, 6, 8, 10, 12, 14, 16};
constexpr int widthCount = 7;
constexpr double tauBounds[] = {0.25, 0.1875, 0.125};
constexpr int tauCount = 3;
constexpr double betaPerWidth = 2.30;
constexpr int order = 26;          // p: Taylor terms of order k + l < p are computed
constexpr double cellRatio = 8.0;  // r / s in both variables
constexpr double slack = 1e-30;
constexpr double tCellScale = 1.0;
constexpr double refineAbove = 1.05;  // split cells whose bound exceeds this times the largest e seen
constexpr int refineDepth = 4;

// An MPFR number that frees itself; the program's arithmetic is written with
// the C calls on these.
struct Real {
    mpfr_t v;
    Real() { mpfr_init2(v, bits); mpfr_set_ui(v, 0, MPFR_RNDN); }
    Real(const Real& o) { mpfr_init2(v, bits); mpfr_set(v, o.v, MPFR_RNDN); }
    Real& operator=(const Real& o) { mpfr_set(v, o.v, MPFR_RNDN); return *this; }
    ~Real() { mpfr_clear(v); }
    operator mpfr_ptr() { return v; }
    operator mpfr_srcptr() const { return v; }
};

double up(mpfr_srcptr x) { return mpfr_get_d(x, MPFR_RNDU); }

Real fromDouble(double d) {
    Real r;
    mpfr_set_d(r, d, MPFR_RNDN);
    return r;
}

Real twoPi() {
    Real r;
    mpfr_const_pi(r, MPFR_RNDN);
    mpfr_mul_ui(r, r, 2, MPFR_RNDN);
    return r;
}

struct Kernel {
    int h;
    double beta;
    double values[9];  // phi(0..h) rounded to doubles
};

// phi(z) for |z| <= h.
Real phiAt(const Kernel& k, mpfr_srcptr z) {
    Real a;
    mpfr_div_ui(a, z, k.h, MPFR_RNDN);
    mpfr_sqr(a, a, MPFR_RNDN);
    mpfr_ui_sub(a, 1, a, MPFR_RNDN);
    if (mpfr_sgn(a.v) < 0) mpfr_set_ui(a, 0, MPFR_RNDN);
    mpfr_sqrt(a, a, MPFR_RNDN);
    mpfr_sub_ui(a, a, 1, MPFR_RNDN);
    mpfr_mul_d(a, a, k.beta, MPFR_RNDN);
    mpfr_exp(a, a, MPFR_RNDN);
    return a;
}

Real phiAt(const Kernel& k, double z) { return phiAt(k, fromDouble(z)); }

// The Taylor coefficients of phi(zc + b) in b, orders 0 .. order-1.
void phiSeries(const Kernel& k, mpfr_srcptr zc, std::vector<Real>& out) {
    std::vector<Real> u(order), s(order), a(order);
    Real t;
    // u = 1 - (zc + b)^2 / h^2
    mpfr_div_ui(t, zc, k.h, MPFR_RNDN);
    mpfr_sqr(u[0], t, MPFR_RNDN);
    mpfr_ui_sub(u[0], 1, u[0], MPFR_RNDN);
    mpfr_div_ui(u[1], t, k.h, MPFR_RNDN);
    mpfr_mul_si(u[1], u[1], -2, MPFR_RNDN);
    mpfr_set_ui(u[2], 1, MPFR_RNDN);
    mpfr_div_ui(u[2], u[2], k.h * k.h, MPFR_RNDN);
    mpfr_neg(u[2], u[2], MPFR_RNDN);
    // s = sqrt(u): 2 s0 s_n = u_n - sum_{i=1}^{n-1} s_i s_{n-i}
    mpfr_sqrt(s[0], u[0], MPFR_RNDN);
    for (int n = 1; n < order; ++n) {
        mpfr_set(t, u[n], MPFR_RNDN);
        Real q;
        for (int i = 1; i < n; ++i) {
            mpfr_mul(q, s[i], s[n - i], MPFR_RNDN);
            mpfr_sub(t, t, q, MPFR_RNDN);
        }
        mpfr_div(s[n], t, s[0], MPFR_RNDN);
        mpfr_div_ui(s[n], s[n], 2, MPFR_RNDN);
    }
    // out = exp(beta (s - 1)): n out_n = sum_{i=1}^{n} i a_i out_{n-i}
    for (int n = 0; n < order; ++n) mpfr_mul_d(a[n], s[n], k.beta, MPFR_RNDN);
    mpfr_sub_d(a[0], a[0], k.beta, MPFR_RNDN);
    out.assign(order, Real());
    mpfr_exp(out[0], a[0], MPFR_RNDN);
    for (int n = 1; n < order; ++n) {
        Real q;
        mpfr_set_ui(t, 0, MPFR_RNDN);
        for (int i = 1; i <= n; ++i) {
            mpfr_mul(q, a[i], out[n - i], MPFR_RNDN);
            mpfr_mul_ui(q, q, i, MPFR_RNDN);
            mpfr_add(t, t, q, MPFR_RNDN);
        }
        mpfr_div_ui(out[n], t, n, MPFR_RNDN);
    }
}

// A bound on |phi| over the disc of radius r around the real zc (step 1).
double phiDiscBound(const Kernel& k, double zc, double r) {
    const double h2 = static_cast<double>(k.h) * k.h;
    const double xLow = std::fmax(std::fabs(zc) - r, 0.0), xHigh = std::fabs(zc) + r;
    const double reLow = 1.0 - xHigh * xHigh / h2, reHigh = 1.0 - (xLow * xLow - r * r) / h2;
    const double re = std::fmax(std::fabs(reLow), std::fabs(reHigh)) * (1 + 1e-12);
    const double im = 2.0 * xHigh * r / h2 * (1 + 1e-12);
    return std::exp(k.beta * (std::sqrt(std::sqrt(re * re + im * im)) - 1.0)) * (1 + 1e-12);
}

// D(t) and D'(t).
void deconvolution(const Kernel& k, mpfr_srcptr t, Real& d, Real& slope) {
    static const Real pi2 = twoPi();
    Real angle, c, s, q;
    mpfr_set_d(d, k.values[0], MPFR_RNDN);
    mpfr_set_ui(slope, 0, MPFR_RNDN);
    for (int j = 1; j <= k.h; ++j) {
        mpfr_mul_ui(angle, t, j, MPFR_RNDN);
        mpfr_mul(angle, angle, pi2, MPFR_RNDN);
        mpfr_sin_cos(s, c, angle, MPFR_RNDN);
        mpfr_mul_d(q, c, 2.0 * k.values[j], MPFR_RNDN);
        mpfr_add(d, d, q, MPFR_RNDN);
        mpfr_mul_d(q, s, 2.0 * k.values[j] * j, MPFR_RNDN);
        mpfr_mul(q, q, pi2, MPFR_RNDN);
        mpfr_sub(slope, slope, q, MPFR_RNDN);
    }
}

// The smallest D on [t0, t0 + width] (step 4), by `pieces` sub-cells.
double smallestDeconvolution(const Kernel& k, double t0, double width, int pieces) {
    double curvature = 0.0;
    for (int j = 1; j <= k.h; ++j) curvature += 2.0 * k.values[j] * (2 * M_PI * j) * (2 * M_PI * j);
    curvature *= 1.0 + 1e-12;
    double smallest = INFINITY;
    for (int i = 0; i < pieces; ++i) {
        const double s = width / pieces / 2;  // exact: powers of two
        Real d, slope;
        deconvolution(k, fromDouble(t0 + (2 * i + 1) * s), d, slope);
        mpfr_abs(slope, slope, MPFR_RNDN);
        const double low = mpfr_get_d(d, MPFR_RNDD) - up(slope) * s * (1 + 1e-12) - curvature * s * s / 2 - slack;
        smallest = std::fmin(smallest, low);
    }
    return smallest;
}

struct Complex {
    Real re, im;
};

// The bound on e over one cell (steps 1-4); phis[tap] the kernel's series at
// the cell's delta centre, `included[tap]` false for the edge tap on the strip.
double cellBound(const Kernel& k, double tc, double s1, double dc, double s2, double r2,
                 const std::vector<std::vector<Real>>& phis, const std::vector<bool>& included,
                 double edgeMax, double smallestD, double* tailOut, double* centreOut) {
    static const Real pi2 = twoPi();
    const int p = order;
    const double r1 = cellRatio * s1;
    const int taps = 2 * k.h;
    // B[kk][l] = sum_taps exp(2 pi i tc zc) (2 pi i zc)^kk / kk! * phi_l.
    std::vector<Complex> B(p * p), C(p * p), c(p * p);
    Real theta, cs, sn, q, zc, m;
    std::vector<Complex> alpha(p);
    double M = 0.0;
    for (int j = 0; j <= k.h; ++j) M += (j ? 2.0 : 1.0) * k.values[j] * std::exp(2 * M_PI * j * r1);
    for (int tap = 0; tap < taps; ++tap) {
        if (!included[tap]) continue;
        const int j = tap - k.h;
        const double zcD = dc + j;  // exact
        if (std::fabs(zcD) + r2 >= k.h) {
            std::fprintf(stderr, "disc reaches a branch point: zc %g r2 %g\n", zcD, r2);
            std::exit(1);
        }
        M += phiDiscBound(k, zcD, r2) * std::exp(2 * M_PI * (tc * r2 + std::fabs(zcD) * r1 + r1 * r2));
        mpfr_set_d(zc, zcD, MPFR_RNDN);
        mpfr_mul_d(theta, zc, tc, MPFR_RNDN);
        mpfr_mul(theta, theta, pi2, MPFR_RNDN);
        mpfr_sin_cos(sn, cs, theta, MPFR_RNDN);
        mpfr_set(alpha[0].re, cs, MPFR_RNDN);
        mpfr_set(alpha[0].im, sn, MPFR_RNDN);
        mpfr_mul(m, zc, pi2, MPFR_RNDN);  // alpha_n = alpha_{n-1} * i 2 pi zc / n
        for (int n = 1; n < p; ++n) {
            mpfr_mul(alpha[n].re, alpha[n - 1].im, m, MPFR_RNDN);
            mpfr_neg(alpha[n].re, alpha[n].re, MPFR_RNDN);
            mpfr_mul(alpha[n].im, alpha[n - 1].re, m, MPFR_RNDN);
            mpfr_div_ui(alpha[n].re, alpha[n].re, n, MPFR_RNDN);
            mpfr_div_ui(alpha[n].im, alpha[n].im, n, MPFR_RNDN);
        }
        for (int kk = 0; kk < p; ++kk) {
            for (int l = 0; kk + l < p; ++l) {
                mpfr_mul(q, alpha[kk].re, phis[tap][l], MPFR_RNDN);
                mpfr_add(B[kk * p + l].re, B[kk * p + l].re, q, MPFR_RNDN);
                mpfr_mul(q, alpha[kk].im, phis[tap][l], MPFR_RNDN);
                mpfr_add(B[kk * p + l].im, B[kk * p + l].im, q, MPFR_RNDN);
            }
        }
    }
    // Series of exp(2 pi i tc b) (eps) and of exp(2 pi i a b) (gam), both i^n x_n.
    std::vector<Real> eps(p), gam(p);
    mpfr_set_ui(eps[0], 1, MPFR_RNDN);
    mpfr_set_ui(gam[0], 1, MPFR_RNDN);
    for (int n = 1; n < p; ++n) {
        mpfr_mul_d(eps[n], eps[n - 1], tc, MPFR_RNDN);
        mpfr_mul(eps[n], eps[n], pi2, MPFR_RNDN);
        mpfr_div_ui(eps[n], eps[n], n, MPFR_RNDN);
        mpfr_mul(gam[n], gam[n - 1], pi2, MPFR_RNDN);
        mpfr_div_ui(gam[n], gam[n], n, MPFR_RNDN);
    }
    // (x + iy) * i^n r: accumulate into (re, im).
    auto addTimesIPower = [&](Complex& to, const Complex& x, mpfr_srcptr r, int n) {
        mpfr_mul(q, x.re, r, MPFR_RNDN);
        mpfr_mul(m, x.im, r, MPFR_RNDN);
        switch (n % 4) {
            case 0: mpfr_add(to.re, to.re, q, MPFR_RNDN); mpfr_add(to.im, to.im, m, MPFR_RNDN); break;
            case 1: mpfr_sub(to.re, to.re, m, MPFR_RNDN); mpfr_add(to.im, to.im, q, MPFR_RNDN); break;
            case 2: mpfr_sub(to.re, to.re, q, MPFR_RNDN); mpfr_sub(to.im, to.im, m, MPFR_RNDN); break;
            default: mpfr_add(to.re, to.re, m, MPFR_RNDN); mpfr_sub(to.im, to.im, q, MPFR_RNDN); break;
        }
    };
    for (int kk = 0; kk < p; ++kk)
        for (int l = 0; kk + l < p; ++l)
            for (int n = 0; n <= l; ++n) addTimesIPower(C[kk * p + l], B[kk * p + l - n], eps[n], n);
    for (int kk = 0; kk < p; ++kk)
        for (int l = 0; kk + l < p; ++l)
            for (int n = 0; n <= kk && n <= l; ++n) addTimesIPower(c[kk * p + l], C[(kk - n) * p + l - n], gam[n], n);
    // N = D - (the taps): D's series in a, at b^0.
    for (int kk = 0; kk < p; ++kk) {
        mpfr_neg(c[kk * p].re, c[kk * p].re, MPFR_RNDN);
        mpfr_neg(c[kk * p].im, c[kk * p].im, MPFR_RNDN);
        for (int l = 1; kk + l < p; ++l) {
            mpfr_neg(c[kk * p + l].re, c[kk * p + l].re, MPFR_RNDN);
            mpfr_neg(c[kk * p + l].im, c[kk * p + l].im, MPFR_RNDN);
        }
    }
    for (int j = -k.h; j <= k.h; ++j) {
        Complex x;
        mpfr_mul_si(theta, pi2, j, MPFR_RNDN);
        mpfr_mul_d(theta, theta, tc, MPFR_RNDN);
        mpfr_sin_cos(x.im, x.re, theta, MPFR_RNDN);
        Real w, step;
        mpfr_set_d(w, k.values[std::abs(j)], MPFR_RNDN);
        mpfr_mul_si(step, pi2, j, MPFR_RNDN);
        for (int kk = 0; kk < p; ++kk) {
            addTimesIPower(c[kk * p], x, w, kk);
            mpfr_mul(w, w, step, MPFR_RNDN);
            mpfr_div_ui(w, w, kk + 1, MPFR_RNDN);
        }
    }
    // Step 3: the affine part at the corners, the rest term by term.
    double affine = 0.0;
    for (int corner = 0; corner < 4; ++corner) {
        const Real a = fromDouble(corner & 1 ? s1 : -s1), b = fromDouble(corner & 2 ? s2 : -s2);
        Real re, im;
        mpfr_mul(re, c[p].re, a, MPFR_RNDN);
        mpfr_mul(q, c[1].re, b, MPFR_RNDN);
        mpfr_add(re, re, q, MPFR_RNDN);
        mpfr_add(re, re, c[0].re, MPFR_RNDN);
        mpfr_mul(im, c[p].im, a, MPFR_RNDN);
        mpfr_mul(q, c[1].im, b, MPFR_RNDN);
        mpfr_add(im, im, q, MPFR_RNDN);
        mpfr_add(im, im, c[0].im, MPFR_RNDN);
        mpfr_hypot(re, re, im, MPFR_RNDU);
        affine = std::fmax(affine, up(re));
    }
    Real rest, term;
    for (int kk = 0; kk < p; ++kk) {
        for (int l = 0; kk + l < p; ++l) {
            if (kk + l < 2) continue;
            mpfr_hypot(term, c[kk * p + l].re, c[kk * p + l].im, MPFR_RNDU);
            mpfr_mul_d(term, term, std::pow(s1, kk) * std::pow(s2, l) * (1 + 1e-12), MPFR_RNDU);
            mpfr_add(rest, rest, term, MPFR_RNDU);
        }
    }
    // Step 2.
    const double rho = std::fmax(s1 / r1, s2 / r2);
    const double tail = M * std::pow(rho, p) * ((p + 1) / (1 - rho) + rho / ((1 - rho) * (1 - rho))) * (1 + 1e-9);
    const double numerator = (affine + up(rest) + tail + edgeMax + slack) * (1 + 1e-12);
    *tailOut = tail;
    Real d, slope;
    deconvolution(k, fromDouble(tc), d, slope);
    mpfr_hypot(term, c[0].re, c[0].im, MPFR_RNDN);
    mpfr_div(term, term, d, MPFR_RNDN);
    *centreOut = mpfr_get_d(term, MPFR_RNDN);
    return numerator / smallestD * (1 + 1e-12);
}

struct TableEntry {
    double error, gain, largestTail, largestCentre;
    int cells;
};

// One cell of the cover: t in [tc - s1, tc + s1], delta in [dc - s2, dc + s2].
struct Cell {
    double tc, s1, dc, s2;
    bool strip;  // delta in [0, deltaMin]: the edge tap bounded apart
};

struct Bounded {
    double bound, centre;
};

Bounded boundCell(const Kernel& k, const Cell& cell, double edgeMax, TableEntry& entry) {
    const int taps = 2 * k.h;
    const double r2 = cell.strip ? 0.25 : std::fmin(0.25, cell.dc / 2);
    if (cell.s2 * cellRatio > r2 && !cell.strip) { std::fprintf(stderr, "delta cell too wide\n"); std::exit(1); }
    std::vector<std::vector<Real>> phis(taps);
    std::vector<bool> included(taps, true);
    if (cell.strip) included[0] = false;  // the edge tap, j = -h
    for (int tap = 0; tap < taps; ++tap)
        if (included[tap]) phiSeries(k, fromDouble(cell.dc + tap - k.h), phis[tap]);
    const double smallestD = smallestDeconvolution(k, cell.tc - cell.s1, 2 * cell.s1, 16);
    if (!(smallestD > 0)) { std::fprintf(stderr, "D not positive\n"); std::exit(1); }
    double tail = 0.0, centre = 0.0;
    const double e = cellBound(k, cell.tc, cell.s1, cell.dc, cell.s2, r2, phis, included,
                               cell.strip ? edgeMax : 0.0, smallestD, &tail, &centre);
    entry.largestTail = std::fmax(entry.largestTail, tail);
    entry.largestCentre = std::fmax(entry.largestCentre, centre);
    ++entry.cells;
    return {e, centre};
}

// A cell whose bound is above `target` is split in halves (in t, and in
// delta off the strip), at most `depth` times; the largest bound of the
// cells kept is the result.
double refinedBound(const Kernel& k, const Cell& cell, double bound, double target, int depth,
                    double edgeMax, TableEntry& entry) {
    if (bound <= target || depth == 0) return bound;
    double largest = 0.0;
    const int deltaHalves = cell.strip ? 1 : 2;
    for (int a = 0; a < 2; ++a) {
        for (int b = 0; b < deltaHalves; ++b) {
            Cell half = cell;
            half.s1 = cell.s1 / 2;
            half.tc = cell.tc + (a ? half.s1 : -half.s1);
            if (!cell.strip) {
                half.s2 = cell.s2 / 2;
                half.dc = cell.dc + (b ? half.s2 : -half.s2);
            }
            const Bounded h = boundCell(k, half, edgeMax, entry);
            largest = std::fmax(largest, refinedBound(k, half, h.bound, target, depth - 1, edgeMax, entry));
        }
    }
    return largest;
}

TableEntry boundFor(const Kernel& k, double tau) {
    // delta cells: the strip [0, deltaMin], then steps of a power of two
    // between dc/16 and dc/8 (ending at 1/32), to 1/2; all ends dyadic.
    const Real edgeReference = phiAt(k, -static_cast<double>(k.h));
    double deltaMin = 0.25;
    for (;;) {  // the largest power of two with phi(deltaMin - h) <= e^0.05 phi(-h)
        const Real v = phiAt(k, deltaMin - k.h);
        if (up(v) <= mpfr_get_d(edgeReference, MPFR_RNDD) * std::exp(0.05)) break;
        deltaMin /= 2;
    }
    const double edgeMax = up(phiAt(k, deltaMin - k.h)) * (1 + 1e-12);
    std::vector<double> ends = {0.0, deltaMin};
    while (ends.back() < 0.5) {
        const double d0 = ends.back();
        double step = 1.0 / 32;
        while (step > d0 / 8) step /= 2;
        ends.push_back(d0 + step);
    }
    // t cells: 2^n of them, s1 <= 1 / (8 pi h) so that e^(2 pi |zc| r1) <= e^2.
    int tCells = 1;
    while (tau / (2 * tCells) > 1.0 / (tCellScale * 8 * M_PI * k.h)) tCells *= 2;
    const double s1 = tau / (2 * tCells);

    // A first cover, then the cells whose bound is more than refineAbove
    // times the largest value of e met at a centre split until they are not.
    TableEntry result = {0.0, 0.0, 0.0, 0.0, 0};
    std::vector<Cell> cells;
    std::vector<double> bounds;
    for (size_t i = 0; i + 1 < ends.size(); ++i) {
        for (int a = 0; a < tCells; ++a) {
            // exact: dyadic ends
            const Cell cell = {(2 * a + 1) * s1, s1, (ends[i] + ends[i + 1]) / 2, (ends[i + 1] - ends[i]) / 2, i == 0};
            cells.push_back(cell);
            bounds.push_back(boundCell(k, cell, edgeMax, result).bound);
        }
    }
    const double target = result.largestCentre * refineAbove;
    for (size_t c = 0; c < cells.size(); ++c)
        result.error = std::fmax(result.error, refinedBound(k, cells[c], bounds[c], target, refineDepth, edgeMax, result));
    result.gain = 1.0 / smallestDeconvolution(k, 0.0, tau, 4096) * (1 + 1e-12);
    return result;
}

// The largest sum of phi over the taps of one frequency, delta in [0, 1/2].
double massBound(const Kernel& k) {
    double largest = 0.0;
    const int cells = 4096;
    for (int b = 0; b < cells; ++b) {
        double sum = 0.0;
        for (int j = -k.h; j < k.h; ++j) {
            const double ends[2] = {0.5 * b / cells + j, 0.5 * (b + 1) / cells + j};
            sum += std::fmax(up(phiAt(k, ends[0])), up(phiAt(k, ends[1])));
        }
        largest = std::fmax(largest, sum * (1 + 1e-12));
    }
    return largest;
}

}  // namespace

int main() {
    const std::clock_t start = std::clock();
    Kernel kernels[widthCount];
    double mass[widthCount];
    TableEntry entries[widthCount][tauCount];
    for (int i = 0; i < widthCount; ++i) {
        Kernel& k = kernels[i];
        k.h = widths[i] / 2;
        k.beta = betaPerWidth * widths[i];
        for (int j = 0; j < 9; ++j) k.values[j] = j <= k.h ? mpfr_get_d(phiAt(k, j), MPFR_RNDN) : 0.0;
        mass[i] = massBound(k);
        for (int q = 0; q < tauCount; ++q) {
            entries[i][q] = boundFor(k, tauBounds[q]);
            std::fprintf(stderr, "w %2d tau %.4f: error %.3e (largest at a centre %.3e) gain %.4f mass %.4f (%d cells, tail <= %.1e) %.0f s\n",
                         widths[i], tauBounds[q], entries[i][q].error, entries[i][q].largestCentre, entries[i][q].gain, mass[i],
                         entries[i][q].cells, entries[i][q].largestTail,
                         static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
        }
    }

    std::printf("// Generated by scripts/fast_kernel_table.cpp with MPFR; do not edit.\n");
    std::printf("// The spreading kernels of the fast mode: see that program for what each\n");
    std::printf("// number means and the proof that the bounds hold.\n");
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
    std::printf("    double error[tauCount];  // bound on e(t, delta) for |t| <= tauBounds[q], all delta\n");
    std::printf("    double gain[tauCount];   // bound on psi(t) for |t| <= tauBounds[q]\n};\n\n");
    std::printf("inline constexpr Kernel kernels[widthCount] = {\n");
    for (int i = 0; i < widthCount; ++i) {
        std::printf("    {%d, %a,\n     {", widths[i], kernels[i].beta);
        for (int j = 0; j < 9; ++j) std::printf("%s%a", j ? ", " : "", kernels[i].values[j]);
        std::printf("},\n     %a,\n     {", mass[i]);
        for (int q = 0; q < tauCount; ++q) std::printf("%s%a", q ? ", " : "", entries[i][q].error);
        std::printf("},\n     {");
        for (int q = 0; q < tauCount; ++q) std::printf("%s%a", q ? ", " : "", entries[i][q].gain);
        std::printf("}},\n");
    }
    std::printf("};\n\n}  // namespace fast_tables\n}  // namespace spectrogrid\n\n#endif\n");
    return 0;
}
