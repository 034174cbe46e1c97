// The bodies of the fast mode, compiled once per instruction set (by
// scalar.cpp, avx2.cpp, avx512.cpp, each with its own flags) inside its own
// namespace. A Lanes value holds one double per frame of the batch; every
// operation on it is the same IEEE operation on each lane, whatever vector
// width the compiler maps it to, so every set gives the same bits.
//
// Requires: fast/fast.h, <cstdint>, <cstring>.

namespace {

typedef double Lanes __attribute__((vector_size(lanes * sizeof(double))));

inline Lanes loadLanes(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeLanes(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

inline Lanes broadcast(double x) {
    Lanes v;
    for (int i = 0; i < lanes; ++i) v[i] = x;
    return v;
}

// One radix-4 decimation-in-frequency stage of the Stockham form: n the
// length of the subsequences still to transform, s their stride. Element
// q + s*(p + r*m) of x (r < 4, m = n/4) goes, butterflied and multiplied by
// w^(r p), w = exp(-2 pi i / n), to element q + s*(4p + r) of y.
void radix4Stage(const double* x, double* y, std::int32_t n, std::int32_t s,
                 const double* twiddles, std::int32_t N) {
    const std::int32_t m = n / 4;
    const std::int64_t step = N / n;
    for (std::int32_t p = 0; p < m; ++p) {
        // Twiddles: real parts at twiddles[0..N), imaginary at [N..2N).
        const std::int64_t e1 = p * step, e2 = 2 * e1, e3 = 3 * e1;
        const Lanes w1r = broadcast(twiddles[e1]), w1i = broadcast(twiddles[N + e1]);
        const Lanes w2r = broadcast(twiddles[e2]), w2i = broadcast(twiddles[N + e2]);
        const Lanes w3r = broadcast(twiddles[e3]), w3i = broadcast(twiddles[N + e3]);
        for (std::int32_t q = 0; q < s; ++q) {
            const double* a = x + std::int64_t{q + s * p} * elementDoubles;
            const std::int64_t apart = std::int64_t{s} * m * elementDoubles;
            const Lanes ar = loadLanes(a), ai = loadLanes(a + lanes);
            const Lanes br = loadLanes(a + apart), bi = loadLanes(a + apart + lanes);
            const Lanes cr = loadLanes(a + 2 * apart), ci = loadLanes(a + 2 * apart + lanes);
            const Lanes dr = loadLanes(a + 3 * apart), di = loadLanes(a + 3 * apart + lanes);
            const Lanes apcR = ar + cr, apcI = ai + ci;
            const Lanes amcR = ar - cr, amcI = ai - ci;
            const Lanes bpdR = br + dr, bpdI = bi + di;
            const Lanes bmdR = br - dr, bmdI = bi - di;
            // r = 1: (a - c) - i (b - d); r = 3: (a - c) + i (b - d).
            const Lanes u1R = amcR + bmdI, u1I = amcI - bmdR;
            const Lanes u3R = amcR - bmdI, u3I = amcI + bmdR;
            const Lanes u2R = apcR - bpdR, u2I = apcI - bpdI;
            double* out = y + std::int64_t{q + s * 4 * p} * elementDoubles;
            const std::int64_t next = std::int64_t{s} * elementDoubles;
            storeLanes(out, apcR + bpdR);
            storeLanes(out + lanes, apcI + bpdI);
            storeLanes(out + next, u1R * w1r - u1I * w1i);
            storeLanes(out + next + lanes, u1R * w1i + u1I * w1r);
            storeLanes(out + 2 * next, u2R * w2r - u2I * w2i);
            storeLanes(out + 2 * next + lanes, u2R * w2i + u2I * w2r);
            storeLanes(out + 3 * next, u3R * w3r - u3I * w3i);
            storeLanes(out + 3 * next + lanes, u3R * w3i + u3I * w3r);
        }
    }
}

// The last stage when log2 N is odd: n = 2, no twiddles.
void radix2Stage(const double* x, double* y, std::int32_t s) {
    for (std::int32_t q = 0; q < s; ++q) {
        const double* a = x + std::int64_t{q} * elementDoubles;
        const double* b = x + std::int64_t{q + s} * elementDoubles;
        double* outA = y + std::int64_t{q} * elementDoubles;
        double* outB = y + std::int64_t{q + s} * elementDoubles;
        const Lanes ar = loadLanes(a), ai = loadLanes(a + lanes);
        const Lanes br = loadLanes(b), bi = loadLanes(b + lanes);
        storeLanes(outA, ar + br);
        storeLanes(outA + lanes, ai + bi);
        storeLanes(outB, ar - br);
        storeLanes(outB + lanes, ai - bi);
    }
}

double* transform(double* data, double* spare, const double* twiddles, std::int32_t N) {
    double* x = data;
    double* y = spare;
    std::int32_t n = N;
    std::int32_t s = 1;
    for (; n >= 4; n /= 4, s *= 4) {
        radix4Stage(x, y, n, s, twiddles, N);
        double* t = x;
        x = y;
        y = t;
    }
    if (n == 2) {
        radix2Stage(x, y, s);
        return y;
    }
    return x;
}

// Each frequency's coefficient in every lane: one accumulator per part,
// summed over the taps in ascending order, then turned by the phase; the
// final + 0.0 makes a zero coefficient +0, as in the exact mode.
void interpolate(const double* spectrum, const double* taps, std::int64_t tapStride,
                 std::int32_t width, std::int32_t count, double* out) {
    for (std::int32_t k = 0; k < count; ++k) {
        const double* tap = taps + k * tapStride;
        const double* first = spectrum + static_cast<std::int64_t>(tap[0]) * elementDoubles;
        const double* weights = tap + 3;
        Lanes re = broadcast(0.0);
        Lanes im = broadcast(0.0);
        for (std::int32_t m = 0; m < width; ++m) {
            const Lanes weight = broadcast(weights[m]);
            re = re + weight * loadLanes(first + m * elementDoubles);
            im = im + weight * loadLanes(first + m * elementDoubles + lanes);
        }
        const Lanes pr = broadcast(tap[1]), pi = broadcast(tap[2]);
        const Lanes zero = broadcast(0.0);
        storeLanes(out + k * elementDoubles, (re * pr - im * pi) + zero);
        storeLanes(out + k * elementDoubles + lanes, (re * pi + im * pr) + zero);
    }
}

}  // namespace

const FastKernels kernels = {transform, interpolate};
