// The bodies of the fast mode, compiled once per instruction set (by
// scalar.cpp, avx2.cpp, avx512.cpp, each with its own flags) inside its own
// namespace. A Lanes value holds one double per frame of the batch; every
// operation on it is the same IEEE operation on each lane, whatever vector
// width the compiler maps it to, so every set gives the same bits.
//
// Requires: fast/fast.h, <cstdint>, <cstring>; the rules of every such body
// are in core/simd/operations.h.

namespace {

typedef double Lanes __attribute__((vector_size(lanes * sizeof(double))));

inline Lanes loadLanes(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void storeLanes(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

static_assert(lanes == 8, "broadcast lists eight lanes");

inline Lanes broadcast(double x) { return Lanes{x, x, x, x, x, x, x, x}; }

// Lanes i0 ... i7 of the sixteen of a and b (b's numbered 8 to 15).
template <int i0, int i1, int i2, int i3, int i4, int i5, int i6, int i7>
inline Lanes shuffle(Lanes a, Lanes b) {
#if defined(__clang__) || __GNUC__ >= 12
    return __builtin_shufflevector(a, b, i0, i1, i2, i3, i4, i5, i6, i7);
#else
    typedef std::int64_t Indices __attribute__((vector_size(lanes * sizeof(std::int64_t))));
    return __builtin_shuffle(a, b, Indices{i0, i1, i2, i3, i4, i5, i6, i7});
#endif
}

// The eight vectors transposed: lane i of v[j] becomes lane j of v[i]. Only
// moves, in three rounds of pairwise shuffles.
inline void transpose(Lanes v[lanes]) {
    Lanes t[lanes], u[lanes];
    for (int i = 0; i < lanes; i += 2) {
        t[i] = shuffle<0, 8, 2, 10, 4, 12, 6, 14>(v[i], v[i + 1]);
        t[i + 1] = shuffle<1, 9, 3, 11, 5, 13, 7, 15>(v[i], v[i + 1]);
    }
    for (int i = 0; i < lanes; i += 4) {
        for (int j = 0; j < 2; ++j) {
            u[i + j] = shuffle<0, 1, 8, 9, 4, 5, 12, 13>(t[i + j], t[i + j + 2]);
            u[i + j + 2] = shuffle<2, 3, 10, 11, 6, 7, 14, 15>(t[i + j], t[i + j + 2]);
        }
    }
    for (int j = 0; j < 4; ++j) {
        v[j] = shuffle<0, 1, 2, 3, 8, 9, 10, 11>(u[j], u[j + 4]);
        v[j + 4] = shuffle<4, 5, 6, 7, 12, 13, 14, 15>(u[j], u[j + 4]);
    }
}

// Windowed samples of a run of FFT indices: index first + j of lane r gets
// rows[r][j] * weights[j], j < count (index p is the real part of element
// p/2 of data when p is even, its imaginary part when odd). Eight samples
// of the eight lanes at a time, by a transpose; the same product in every
// lane as one at a time.
void placeRun(const double* const* rows, const double* weights, std::int32_t count,
              std::int64_t first, double* data) {
    const auto placeOne = [&](std::int32_t j) {
        const std::int64_t p = first + j;
        double* at = data + (p >> 1) * elementDoubles + (p & 1) * lanes;
        for (int r = 0; r < lanes; ++r) at[r] = rows[r][j] * weights[j];
    };
    std::int32_t j = 0;
    if ((first & 1) != 0 && count > 0) placeOne(j++);
    for (; j + lanes <= count; j += lanes) {
        Lanes v[lanes];
        for (int r = 0; r < lanes; ++r) v[r] = loadLanes(rows[r] + j);
        transpose(v);
        double* at = data + ((first + j) >> 1) * elementDoubles;
        for (int i = 0; i < lanes; ++i) storeLanes(at + i * lanes, v[i] * broadcast(weights[j + i]));
    }
    for (; j < count; ++j) placeOne(j);
}

// The twiddles w^p, w^(2p), w^(3p) of butterfly p of a radix-4 stage, each
// in every lane: real parts at twiddles[0..T), imaginary at [T..2T).
struct StageTwiddles {
    Lanes w1r, w1i, w2r, w2i, w3r, w3i;
};

inline StageTwiddles stageTwiddles(const double* twiddles, std::int64_t e1, std::int32_t T) {
    const std::int64_t e2 = 2 * e1, e3 = 3 * e1;
    return {broadcast(twiddles[e1]), broadcast(twiddles[T + e1]), broadcast(twiddles[e2]),
            broadcast(twiddles[T + e2]), broadcast(twiddles[e3]), broadcast(twiddles[T + e3])};
}

// Stores a butterfly's four outputs, `next` doubles apart: u0 as it is, u1,
// u2 and u3 multiplied by their twiddles.
inline void storeButterfly(double* out, std::int64_t next, Lanes u0R, Lanes u0I, Lanes u1R,
                           Lanes u1I, Lanes u2R, Lanes u2I, Lanes u3R, Lanes u3I,
                           const StageTwiddles& w) {
    storeLanes(out, u0R);
    storeLanes(out + lanes, u0I);
    storeLanes(out + next, u1R * w.w1r - u1I * w.w1i);
    storeLanes(out + next + lanes, u1R * w.w1i + u1I * w.w1r);
    storeLanes(out + 2 * next, u2R * w.w2r - u2I * w.w2i);
    storeLanes(out + 2 * next + lanes, u2R * w.w2i + u2I * w.w2r);
    storeLanes(out + 3 * next, u3R * w.w3r - u3I * w.w3i);
    storeLanes(out + 3 * next + lanes, u3R * w.w3i + u3I * w.w3r);
}

// One radix-4 decimation-in-frequency stage of the Stockham form: n the
// length of the subsequences still to transform, s their stride. Element
// q + s*(p + r*m) of x (r < 4, m = n/4) goes, butterflied and multiplied by
// w^(r p), w = exp(-2 pi i / n), to element q + s*(4p + r) of y. The
// twiddle table holds exp(-2 pi i k / T) for k < T, T a multiple of n.
void radix4Stage(const double* x, double* y, std::int32_t n, std::int32_t s,
                 const double* twiddles, std::int32_t T) {
    const std::int32_t m = n / 4;
    const std::int64_t step = T / n;
    for (std::int32_t p = 0; p < m; ++p) {
        const StageTwiddles w = stageTwiddles(twiddles, p * step, T);
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
            storeButterfly(out, std::int64_t{s} * elementDoubles, apcR + bpdR, apcI + bpdI, u1R,
                           u1I, u2R, u2I, u3R, u3I, w);
        }
    }
}

// The first stage of a transform whose input elements [n/4, 3n/4) are zero
// (a frame of L samples centred in an FFT of N >= 2L: the zero padding lies
// in the middle): radix4Stage with b = c = 0, the operations on them left
// out. Only the signs of zeros can differ from the full stage, never a
// value that is not zero.
void radix4FirstStage(const double* x, double* y, std::int32_t n, const double* twiddles,
                      std::int32_t T) {
    const std::int32_t m = n / 4;
    const std::int64_t step = T / n;
    for (std::int32_t p = 0; p < m; ++p) {
        const StageTwiddles w = stageTwiddles(twiddles, p * step, T);
        const double* a = x + std::int64_t{p} * elementDoubles;
        const double* d = x + std::int64_t{p + 3 * m} * elementDoubles;
        const Lanes ar = loadLanes(a), ai = loadLanes(a + lanes);
        const Lanes dr = loadLanes(d), di = loadLanes(d + lanes);
        // r = 1: a + i d; r = 2: a - d; r = 3: a - i d.
        const Lanes u1R = ar - di, u1I = ai + dr;
        const Lanes u3R = ar + di, u3I = ai - dr;
        const Lanes u2R = ar - dr, u2I = ai - di;
        double* out = y + std::int64_t{4 * p} * elementDoubles;
        storeButterfly(out, elementDoubles, ar + dr, ai + di, u1R, u1I, u2R, u2I, u3R, u3I, w);
    }
}

// A butterfly's output times its twiddle (wr, wi), stored at out.
inline void storeTwiddled(double* out, Lanes re, Lanes im, Lanes wr, Lanes wi) {
    storeLanes(out, re * wr - im * wi);
    storeLanes(out + lanes, re * wi + im * wr);
}

// One radix-3 stage, as radix4Stage: element q + s*(p + j*m) of x (j < 3,
// m = n/3) goes to element q + s*(3p + k) of y as
//   y0 = a + (b + c),  y1, y2 = (a - (b + c)/2) -+ i sin(pi/3) (b - c),
// y1 and y2 multiplied by w^p and w^(2p).
void radix3Stage(const double* x, double* y, std::int32_t n, std::int32_t s,
                 const double* twiddles, std::int32_t T) {
    const std::int32_t m = n / 3;
    const std::int64_t step = T / n;
    const std::int64_t apart = std::int64_t{s} * m * elementDoubles;
    const Lanes oneHalf = broadcast(0.5), sine = broadcast(0.86602540378443864676);
    for (std::int32_t p = 0; p < m; ++p) {
        const std::int64_t e1 = p * step, e2 = 2 * e1;
        const Lanes w1r = broadcast(twiddles[e1]), w1i = broadcast(twiddles[T + e1]);
        const Lanes w2r = broadcast(twiddles[e2]), w2i = broadcast(twiddles[T + e2]);
        for (std::int32_t q = 0; q < s; ++q) {
            const double* a = x + std::int64_t{q + s * p} * elementDoubles;
            const Lanes ar = loadLanes(a), ai = loadLanes(a + lanes);
            const Lanes br = loadLanes(a + apart), bi = loadLanes(a + apart + lanes);
            const Lanes cr = loadLanes(a + 2 * apart), ci = loadLanes(a + 2 * apart + lanes);
            const Lanes sumR = br + cr, sumI = bi + ci;
            const Lanes midR = ar - oneHalf * sumR, midI = ai - oneHalf * sumI;
            const Lanes turnR = sine * (br - cr), turnI = sine * (bi - ci);
            double* out = y + std::int64_t{q + s * 3 * p} * elementDoubles;
            const std::int64_t next = std::int64_t{s} * elementDoubles;
            storeLanes(out, ar + sumR);
            storeLanes(out + lanes, ai + sumI);
            storeTwiddled(out + next, midR + turnI, midI - turnR, w1r, w1i);
            storeTwiddled(out + 2 * next, midR - turnI, midI + turnR, w2r, w2i);
        }
    }
}

// One radix-5 stage, as radix4Stage: inputs a, b, c, d, e (j < 5, m = n/5),
// with c1 = cos(2 pi/5), c2 = cos(4 pi/5), s1 = sin(2 pi/5), s2 = sin(4 pi/5):
//   y0 = (a + (b + e)) + (c + d),
//   y1, y4 = (a + (c1 (b + e) + c2 (c + d))) -+ i (s1 (b - e) + s2 (c - d)),
//   y2, y3 = (a + (c2 (b + e) + c1 (c + d))) -+ i (s2 (b - e) - s1 (c - d)),
// output k multiplied by w^(k p).
void radix5Stage(const double* x, double* y, std::int32_t n, std::int32_t s,
                 const double* twiddles, std::int32_t T) {
    const std::int32_t m = n / 5;
    const std::int64_t step = T / n;
    const std::int64_t apart = std::int64_t{s} * m * elementDoubles;
    const Lanes c1 = broadcast(0.30901699437494742410), c2 = broadcast(-0.80901699437494742410);
    const Lanes s1 = broadcast(0.95105651629515357212), s2 = broadcast(0.58778525229247312917);
    for (std::int32_t p = 0; p < m; ++p) {
        Lanes wr[5], wi[5];
        for (int k = 1; k < 5; ++k) {
            wr[k] = broadcast(twiddles[k * p * step]);
            wi[k] = broadcast(twiddles[T + k * p * step]);
        }
        for (std::int32_t q = 0; q < s; ++q) {
            const double* in = x + std::int64_t{q + s * p} * elementDoubles;
            Lanes vr[5], vi[5];
            for (int j = 0; j < 5; ++j) {
                vr[j] = loadLanes(in + j * apart);
                vi[j] = loadLanes(in + j * apart + lanes);
            }
            const Lanes t1r = vr[1] + vr[4], t1i = vi[1] + vi[4];
            const Lanes t2r = vr[2] + vr[3], t2i = vi[2] + vi[3];
            const Lanes t3r = vr[1] - vr[4], t3i = vi[1] - vi[4];
            const Lanes t4r = vr[2] - vr[3], t4i = vi[2] - vi[3];
            const Lanes a1r = vr[0] + (c1 * t1r + c2 * t2r), a1i = vi[0] + (c1 * t1i + c2 * t2i);
            const Lanes a2r = vr[0] + (c2 * t1r + c1 * t2r), a2i = vi[0] + (c2 * t1i + c1 * t2i);
            const Lanes b1r = s1 * t3r + s2 * t4r, b1i = s1 * t3i + s2 * t4i;
            const Lanes b2r = s2 * t3r - s1 * t4r, b2i = s2 * t3i - s1 * t4i;
            double* out = y + std::int64_t{q + s * 5 * p} * elementDoubles;
            const std::int64_t next = std::int64_t{s} * elementDoubles;
            storeLanes(out, (vr[0] + t1r) + t2r);
            storeLanes(out + lanes, (vi[0] + t1i) + t2i);
            storeTwiddled(out + next, a1r + b1i, a1i - b1r, wr[1], wi[1]);
            storeTwiddled(out + 2 * next, a2r + b2i, a2i - b2r, wr[2], wi[2]);
            storeTwiddled(out + 3 * next, a2r - b2i, a2i + b2r, wr[3], wi[3]);
            storeTwiddled(out + 4 * next, a1r - b1i, a1i + b1r, wr[4], wi[4]);
        }
    }
}

// The stages but a last radix-2 one of the length-n DFT (n = 4^a 2^b 3^c
// 5^d, a >= 1, b <= 1) of the batch at data, whose elements [n/4, 3n/4) are
// zero, between data and spare: radix 4 first (the first one skipping the
// zeros), then 5, then 3. Returns where they left it, and with *radix2Left
// whether the last stage (n = 2, stride length/2) is still to do. Twiddles
// from a table of length T (a multiple of n).
double* transformComplex(double* data, double* spare, const double* twiddles, std::int32_t T,
                         std::int32_t length, bool* radix2Left) {
    double* x = data;
    double* y = spare;
    std::int32_t n = length;
    std::int32_t s = 1;
    const auto next = [&](std::int32_t radix) {
        n /= radix;
        s *= radix;
        double* t = x;
        x = y;
        y = t;
    };
    for (; n % 4 == 0; next(4)) {
        if (s == 1) {
            radix4FirstStage(x, y, n, twiddles, T);
        } else {
            radix4Stage(x, y, n, s, twiddles, T);
        }
    }
    for (; n % 5 == 0; next(5)) radix5Stage(x, y, n, s, twiddles, T);
    for (; n % 3 == 0; next(3)) radix3Stage(x, y, n, s, twiddles, T);
    *radix2Left = n == 2;
    return x;
}

// The DFT Y of a real sequence of length N from Z, the length-N/2 DFT of
// z(m) = y(2m) + i y(2m+1): with b = conj Z(N/2 - l),
//   Y(l) = (Z(l) + b) / 2 + exp(-2 pi i l / N) (Z(l) - b) / 2i,  l <= N/2,
// and Y(N - l) = conj Y(l). Written to Y[0, N/2] and, of the mirrored
// ones, Y[mirrorFrom, N) (the elements between are never read). Z comes
// from x, through the last radix-2 stage (stride N/4: Z(q) = x(q) + x(q +
// N/4), Z(q + N/4) = x(q) - x(q + N/4)) when radix2Last: the stage's sums
// made where they are used, in one pass. Y(l) and Y(N/2 - l) take the same
// two elements of Z, so they are made together.
void spectrumFromHalf(const double* x, bool radix2Last, double* Y, const double* twiddles,
                      std::int32_t N, std::int32_t mirrorFrom) {
    const std::int32_t half = N / 2, quarter = N / 4;
    const Lanes one_half = broadcast(0.5);
    const auto elementOfZ = [&](std::int32_t l, Lanes* re, Lanes* im) {
        if (!radix2Last) {
            *re = loadLanes(x + std::int64_t{l} * elementDoubles);
            *im = loadLanes(x + std::int64_t{l} * elementDoubles + lanes);
            return;
        }
        const std::int32_t q = l < quarter ? l : l - quarter;
        const double* a = x + std::int64_t{q} * elementDoubles;
        const double* b = x + std::int64_t{q + quarter} * elementDoubles;
        const Lanes ar = loadLanes(a), ai = loadLanes(a + lanes);
        const Lanes br = loadLanes(b), bi = loadLanes(b + lanes);
        *re = l < quarter ? ar + br : ar - br;
        *im = l < quarter ? ai + bi : ai - bi;
    };
    // Y(l) from a = Z(l) and b = Z(N/2 - l) (Z(0) and Z(0) for l = 0 and N/2).
    const auto store = [&](std::int32_t l, Lanes ar, Lanes ai, Lanes br, Lanes bi) {
        const Lanes evenR = (ar + br) * one_half, evenI = (ai - bi) * one_half;
        const Lanes oddR = (ai + bi) * one_half, oddI = (br - ar) * one_half;
        const Lanes wr = broadcast(twiddles[l]), wi = broadcast(twiddles[N + l]);
        const Lanes yr = evenR + (oddR * wr - oddI * wi);
        const Lanes yi = evenI + (oddR * wi + oddI * wr);
        double* out = Y + std::int64_t{l} * elementDoubles;
        storeLanes(out, yr);
        storeLanes(out + lanes, yi);
        if (l > 0 && l < half && N - l >= mirrorFrom) {
            double* mirror = Y + std::int64_t{N - l} * elementDoubles;
            storeLanes(mirror, yr);
            storeLanes(mirror + lanes, -yi);
        }
    };
    for (std::int32_t l = 0; l <= quarter; ++l) {
        Lanes pr, pi, qr, qi;
        elementOfZ(l, &pr, &pi);
        if (l == 0 || l == quarter) {
            qr = pr;
            qi = pi;
        } else {
            elementOfZ(half - l, &qr, &qi);
        }
        store(l, pr, pi, qr, qi);
        if (l != quarter) store(half - l, qr, qi, pr, pi);
    }
}

// The DFT of N real samples per lane held as N/2 complex elements (even
// samples in the real parts, odd in the imaginary), elements [N/8, 3N/8)
// zero, into whichever of the two buffers the radix-4 stages did not end
// in; of Y(l), l > N/2, only those from mirrorFrom on.
double* transform(double* data, double* spare, const double* twiddles, std::int32_t N,
                  std::int32_t mirrorFrom) {
    bool radix2Left = false;
    double* half = transformComplex(data, spare, twiddles, N, N / 2, &radix2Left);
    double* spectrum = half == data ? spare : data;
    spectrumFromHalf(half, radix2Left, spectrum, twiddles, N, mirrorFrom);
    return spectrum;
}

// Each frequency's coefficient in every lane: one accumulator per part,
// summed over the taps in ascending order, then turned by the phase; the
// final + 0.0 makes a zero coefficient +0, as in the exact mode. Groups of
// `together` frequencies run side by side, so that their sums overlap in
// time; each sum is still its own, in its own order.
template <int together>
void interpolateGroup(const double* spectrum, const double* taps, std::int64_t tapStride,
                      std::int32_t width, double* out) {
    const double* first[together];
    Lanes re[together], im[together];
    for (int g = 0; g < together; ++g) {
        first[g] = spectrum + static_cast<std::int64_t>(taps[g * tapStride]) * elementDoubles;
        re[g] = broadcast(0.0);
        im[g] = broadcast(0.0);
    }
    for (std::int32_t m = 0; m < width; ++m) {
        for (int g = 0; g < together; ++g) {
            const Lanes weight = broadcast(taps[g * tapStride + 3 + m]);
            re[g] = re[g] + weight * loadLanes(first[g] + m * elementDoubles);
            im[g] = im[g] + weight * loadLanes(first[g] + m * elementDoubles + lanes);
        }
    }
    const Lanes zero = broadcast(0.0);
    for (int g = 0; g < together; ++g) {
        const Lanes pr = broadcast(taps[g * tapStride + 1]), pi = broadcast(taps[g * tapStride + 2]);
        storeLanes(out + g * elementDoubles, (re[g] * pr - im[g] * pi) + zero);
        storeLanes(out + g * elementDoubles + lanes, (re[g] * pi + im[g] * pr) + zero);
    }
}

void interpolate(const double* spectrum, const double* taps, std::int64_t tapStride,
                 std::int32_t width, std::int32_t count, double* out) {
    std::int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        interpolateGroup<4>(spectrum, taps + k * tapStride, tapStride, width, out + k * elementDoubles);
    }
    for (; k < count; ++k) {
        interpolateGroup<1>(spectrum, taps + k * tapStride, tapStride, width, out + k * elementDoubles);
    }
}

// The coefficients of `count` frequencies of the first `frames` lanes from
// their staging block (interpolate's out) into the result: frequency k of
// lane r at real[(k + r * frameStride) * step] and imag[...]. Eight
// frequencies of a full batch at a time by a transpose, for separate planes
// (step 1) and for interleaved ones (imag = real + 1, step 2); only moves.
void storeCoefficients(const double* staging, std::int32_t count, std::int32_t frames,
                       double* real, double* imag, std::int32_t step, std::int64_t frameStride) {
    std::int32_t k0 = 0;
    const bool interleaved = step == 2 && imag == real + 1;
    if (frames == lanes && (step == 1 || interleaved)) {
        for (; k0 + lanes <= count; k0 += lanes) {
            Lanes re[lanes], im[lanes];
            for (int k = 0; k < lanes; ++k) {
                re[k] = loadLanes(staging + (k0 + k) * elementDoubles);
                im[k] = loadLanes(staging + (k0 + k) * elementDoubles + lanes);
            }
            transpose(re);
            transpose(im);
            for (int r = 0; r < lanes; ++r) {
                const std::int64_t at = (k0 + r * frameStride) * step;
                if (interleaved) {
                    const Lanes low = shuffle<0, 8, 1, 9, 2, 10, 3, 11>(re[r], im[r]);
                    const Lanes high = shuffle<4, 12, 5, 13, 6, 14, 7, 15>(re[r], im[r]);
                    storeLanes(real + at, low);
                    storeLanes(real + at + lanes, high);
                } else {
                    storeLanes(real + at, re[r]);
                    storeLanes(imag + at, im[r]);
                }
            }
        }
    }
    for (std::int32_t r = 0; r < frames; ++r) {
        for (std::int32_t k = k0; k < count; ++k) {
            const std::int64_t at = (k + r * frameStride) * step;
            real[at] = staging[k * elementDoubles + r];
            imag[at] = staging[k * elementDoubles + lanes + r];
        }
    }
}

typedef std::int64_t Whole __attribute__((vector_size(lanes * sizeof(std::int64_t))));

// The weights of one frequency, weights[m] = phi(delta + w/2 - 1 - m), m <
// w, for the kernel phi(z) = exp(beta (sqrt(1 - (2z/w)^2) - 1)): eight at a
// time, each lane the operations of fast_plan.cpp's kernelValue and
// kernelExp, so the bits of theirs (floor as a truncation stepped down
// where it rose, exact in this range).
void kernelTaps(double beta, std::int32_t width, double delta, double* weights) {
    constexpr double log2e = 1.4426950408889634;
    constexpr double ln2High = 6.93147180369123816490e-01;
    constexpr double ln2Low = 1.90821492927058770002e-10;
    constexpr double inverseFactorials[14] = {
        1.0, 1.0, 0.5, 1.0 / 6, 1.0 / 24, 1.0 / 120, 1.0 / 720, 1.0 / 5040, 1.0 / 40320,
        1.0 / 362880, 1.0 / 3628800, 1.0 / 39916800, 1.0 / 479001600, 1.0 / 6227020800.0};
    for (std::int32_t m0 = 0; m0 < width; m0 += lanes) {
        Lanes offset;
        for (int i = 0; i < lanes; ++i) offset[i] = static_cast<double>(width / 2 - 1 - (m0 + i));
        const Lanes z = broadcast(delta) + offset;
        const Lanes r = z * broadcast(2.0 / width);
        const Lanes q = r * r;
        Lanes root;
        for (int i = 0; i < lanes; ++i) root[i] = q[i] < 1.0 ? __builtin_sqrt(1.0 - q[i]) : 0.0;
        const Lanes a = -((broadcast(beta) * q) / (broadcast(1.0) + root));
        const Lanes t = a * broadcast(log2e) + broadcast(0.5);
        const Lanes truncated = __builtin_convertvector(__builtin_convertvector(t, Whole), Lanes);
        const Lanes k = truncated > t ? truncated - broadcast(1.0) : truncated;
        const Lanes reduced = (a - k * broadcast(ln2High)) - k * broadcast(ln2Low);
        Lanes p = broadcast(inverseFactorials[13]);
        for (int i = 12; i >= 0; --i) p = p * reduced + broadcast(inverseFactorials[i]);
        const Whole bits = (__builtin_convertvector(k, Whole) + 1023) << 52;
        Lanes scale;
        std::memcpy(&scale, &bits, sizeof scale);
        const Lanes value = p * scale;
        for (int i = 0; i < lanes && m0 + i < width; ++i) weights[m0 + i] = value[i];
    }
}

}  // namespace

const FastKernels kernels = {transform, interpolate, placeRun, storeCoefficients, kernelTaps};
