// The fast path of the sine-cosine routine, written once for every
// instruction set (scalar.cpp, avx2.cpp, avx512.cpp beside it). It is
// included inside the namespace of each instruction set, which first
// defines the lane types and the operations core/simd/operations.h lists
// for this body.
//
// Every operation is one IEEE-754 double operation (no fused multiply-add)
// or an exact integer operation, in the same order in every instruction set,
// so a lane gives the same bits whatever the width.
//
// Method. theta = k pi/1024 + r with |r| <= pi/2048, k the nearest integer
// to theta 1024/pi; j = k mod 2048 picks the quarter turn (j >> 9) and the
// table entry i = j mod 512, with a = pi i/1024, S = sin a, C = cos a:
//   sin(a + r) = S + C r + S (cos r - 1) + C (sin r - r)
//   cos(a + r) = C - S r + C (cos r - 1) - S (sin r - r).
// S and C are stored as a 27-bit head and a double tail (80 bits), r as a
// double-double rhi + rlo; rh, rhi cut to 26 bits, makes head(C) rh exact,
// and sHead + cHead rh is split exactly into sh + se. Everything else is at
// most 2^-19.7 of the result and is computed in plain doubles into sl. The
// sum sh + sl is within errorPerResult |y| + (reduction error) of the exact
// y = sin(a + r); the result is RN(sh + sl) when sh + (sl - bound) and
// sh + (sl + bound) round to the same double, bound covering also the
// rounding of sl -+ bound; otherwise the lane is undecided and the caller
// takes the slow path.
//
// Error bound, with u = 2^-53 and R = pi/2048 (1 + 2^-22) >= |r| (so
// u R^2 = 2^-71.70). For the sine (the cosine is the same with S and C
// exchanged):
// - table: |S - head - tail| <= 2^-80 |S|, the same for C;
// - C r: cTail rh and c (rl2 + sin r - r) are rounded, together at most
//   (1.29 u R^2 + 2^-75.9) |C r| with the Taylor polynomial of sin r - r
//   (whose r^4 term is replaced by r^2 R^2 - R^4/8: 2^-71.39 |C r|);
// - S (cos r - 1): rounding r^2, the polynomial (truncated after r^6,
//   below 2^-90) and the products: 2.75 u R^2 |S|;
// - the four additions into sl: 0.5 u R^2 |S| + 2^-78.4 |S| + 2^-75.9 |C r|.
// In all: (3.25 u R^2 + 2^-78.4) |S| + (1.29 u R^2 + 2^-71.39 + 2^-75) |C r|.
// The table entry nearest the argument is used, so |S| <= 2 |y| and
// |C r| <= 1.0001 |y| (for i = 0, S = 0 and y is near r): 2^-68.50 |y|,
// and 2^-68.35 |y| with the rounding of sl -+ bound (u 2^-18.5 |y|).
// errorPerResult = 2^-68.09 leaves room for the rounding of the bound and
// for the relative error 2^-101 of the reduction of huge arguments.
// Reduction of moderate arguments (|theta| < 2^20, so |k| < 2^28.4): exact
// but for k times the fourth piece of pi/1024 (rounded once, then added
// once, below |k| 2^-137.03 with the truncation of pi/1024 after 140 bits)
// and u |rhi| (relative); the low part of r is at most u |rhi| + |k| 2^-85.3
// and its rounding in c rl2 adds |k| 2^-136.3 |C|: |k| 2^-135.6 in all,
// below |theta| 2^-126 since |k| <= 652 |theta|.
//
// The first test uses errorAtOne, the bound for |y| <= 1 (the reduction
// error is below 2^-106); the test with the bound relative to |y| runs only
// where the first one fails in some lane.

constexpr double moderateLow = 0x1p-27;   // below: sin = theta, cos = 1 after rounding
constexpr double moderateHigh = 0x1p20;   // from here on: Payne-Hanek reduction
constexpr double errorPerResult = 0x1.ep-69;         // 2^-68.09
constexpr double errorAtOne = 0x1.e00001p-69;        // errorPerResult + 2^-106
constexpr double reductionErrorPerRadian = 0x1p-126;
constexpr double roundingShifter = 0x1.8p52;         // adding it rounds to an integer

// The sine and cosine of k pi/1024 + rhi + rlo for k = index (mod 2048),
// with |rhi + rlo| <= R and rhi + rlo within absErrorBase * absErrorFactor
// (at most 2^-106) of the exact reduced argument. Writes the candidate
// results; returns the lanes in which they are correctly rounded.
inline Mask sinCosReduced(Bits index, Vec rhi, Vec rlo, Vec absErrorBase, double absErrorFactor, Vec* sine,
                          Vec* cosine) {
    using namespace sincos_tables;
    const Bits entry = lowBits<511>(index);
    Vec sHead, sTail, cHead, cTail;
    lookupEntry(entry, &sHead, &sTail, &cHead, &cTail);
    const Vec s = add(sHead, sTail);
    const Vec c = add(cHead, cTail);

    // rh: rhi cut to 26 significant bits, so that head * rh is exact;
    // rl2 = (rhi - rh) + rlo, with |rhi - rh| < 2^-25 |rhi|.
    const Vec rh = keepHighBits(rhi);
    const Vec rl2 = add(sub(rhi, rh), rlo);

    // sin r - r and cos r - 1, to first order in rlo. The sine polynomial is
    // the Taylor one to r^7 with z^2 replaced by z R^2 - R^4/8 (Chebyshev).
    const Vec z = mul(rhi, rhi);
    const Vec sinPoly = add(splat(sinCoefficient3), mul(z, splat(sinCoefficient5)));
    const Vec sinRest = mul(z, sub(mul(rhi, sinPoly), mul(rlo, splat(0.5))));
    const Vec cosPoly = add(splat(-0.5), mul(z, add(splat(cosCoefficient4), mul(z, splat(cosCoefficient6)))));
    const Vec cosRest = sub(mul(z, cosPoly), mul(rhi, rlo));

    // C r + C (sin r - r) = cHead rh + cTail rh + C (rl2 + (sin r - r)):
    // the products with rl2 and with sin r - r share one multiplication.
    const Vec shared = add(rl2, sinRest);

    // Sine: sHead + cHead rh exactly as sh + se, then the small terms, those
    // known early first (the order keeps the dependency chains short).
    const Vec ps = mul(cHead, rh);
    const Vec sh = add(sHead, ps);
    const Vec se = sub(ps, sub(sh, sHead));
    const Vec sEarly = add(add(se, mul(cTail, rh)), sTail);
    const Vec sl = add(add(sEarly, mul(c, shared)), mul(s, cosRest));

    // Cosine: cHead - sHead rh exactly as ch + ce, then the small terms.
    const Vec pc = mul(sHead, rh);
    const Vec ch = sub(cHead, pc);
    const Vec ce = sub(sub(cHead, ch), pc);
    const Vec cEarly = add(sub(ce, mul(sTail, rh)), cTail);
    const Vec cl = add(sub(cEarly, mul(s, shared)), mul(c, cosRest));

    // Rounding test on the unnormalised pairs (|low| < 2^-18.5 |high|),
    // first with the bound for results of magnitude up to 1, which decides
    // nearly every lane; the bound relative to each result only when that
    // fails somewhere.
    Vec sy = add(sh, sub(sl, splat(errorAtOne)));
    Vec cy = add(ch, sub(cl, splat(errorAtOne)));
    Mask decided = bothSet(sameValue(sy, add(sh, add(sl, splat(errorAtOne)))),
                           sameValue(cy, add(ch, add(cl, splat(errorAtOne)))));
    if (!allSet(decided)) {
        // The cosine of the reduced argument is at least sin(pi/2048) /
        // 1.0001, so the reduction error (below 2^-106) is negligible there;
        // the sine can be tiny.
        const Vec sBound = add(mul(absolute(sh), splat(errorPerResult)), mul(absErrorBase, splat(absErrorFactor)));
        const Vec cBound = mul(absolute(ch), splat(errorPerResult));
        sy = add(sh, sub(sl, sBound));
        cy = add(ch, sub(cl, cBound));
        decided = bothSet(sameValue(sy, add(sh, add(sl, sBound))), sameValue(cy, add(ch, add(cl, cBound))));
    }

    // Quarter turn q = (index >> 9) & 3: (sin, cos) of q pi/2 + x is
    // (sin x, cos x), (cos x, -sin x), (-sin x, -cos x), (-cos x, sin x):
    // the sine is negative for q = 2, 3 and the cosine for q + 1 = 2, 3.
    const Mask odd = bitIsSet<9>(index);
    *sine = negateIfBitSet<10>(select(odd, cy, sy), index);
    *cosine = negateIfBitSet<10>(select(odd, sy, cy), addBits<512>(index));
    return decided;
}

// The same for moderateLow <= magnitude = |theta| < moderateHigh (other
// lanes give garbage, but stay inside the tables).
inline Mask sinCosModerate(Vec theta, Vec magnitude, Vec* sine, Vec* cosine) {
    using namespace sincos_tables;
    // k = theta * 1024/pi rounded to an integer; t carries k mod 2^51 in its
    // low bits.
    const Vec t = add(mul(theta, splat(stepsPerRadian)), splat(roundingShifter));
    const Vec k = sub(t, splat(roundingShifter));
    // Cody-Waite with |k| < 2^29: k times each 24-bit piece is exact, and so
    // are r1 = theta - k p0 (|r1| < 2^53 ulp(theta)) and r2 = r1 - k p1 (a
    // multiple of min(ulp(theta), 2^-57) below 2^-10.3). r2 + q2, q2 = -k p2,
    // is split exactly by a fast two-sum: either |r2| >= |q2|, or both are
    // below 2^-29.7, where r2 + q2 and r2 + q2 - rhi are multiples of 2^-82
    // that fit in 53 bits.
    const Vec r1 = sub(theta, mul(k, splat(stepPiece0)));
    const Vec r2 = sub(r1, mul(k, splat(stepPiece1)));
    const Vec q2 = mul(k, splat(-stepPiece2));
    const Vec rhi = add(r2, q2);
    const Vec rlo = sub(sub(q2, sub(rhi, r2)), mul(k, splat(stepPiece3)));
    return sinCosReduced(bitsOf(t), rhi, rlo, magnitude, reductionErrorPerRadian, sine, cosine);
}
