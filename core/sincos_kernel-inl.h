// The fast path of the sine-cosine routine, written once for every
// instruction set. It is included inside the namespace of each instruction
// set, which first defines the lane types and the operations used below:
//
//   Vec    lanes of doubles            Bits  the same lanes as 64-bit integers
//   Mask   one flag per lane
//   splat(x), add, sub, mul, absolute, keepHighBits (clears the 27 low
//   mantissa bits), bitsOf, lowBits<m>, addBits<n>, bitIsSet<n>,
//   negateIfBitSet<n>(x, bits), lookup(table, index), select(m, a, b) (a
//   where m is set), sameValue, bothSet
//
// Every operation is one IEEE-754 double operation (no fused multiply-add)
// or an exact integer operation, in the same order in every instruction set,
// so a lane gives the same bits whatever the width.
//
// Method. theta = k * pi/1024 + r with |r| <= pi/2048, k the nearest integer
// to theta * 1024/pi; j = k mod 2048 picks the quarter turn (j >> 9) and the
// table entry i = j mod 512 with S = sin(pi i/1024), C = cos(pi i/1024):
//   sin(a + r) = S + C r + S (cos r - 1) + C (sin r - r)
//   cos(a + r) = C - S r + C (cos r - 1) - S (sin r - r).
// S and C are stored as a 27-bit head and a double tail (80 bits); r as a
// double-double whose head is split into two 26-bit halves, so that
// head(C) * head(r) is exact. The two brackets are at most 2^-19.7 and are
// computed in plain doubles. Each result ends as a double-double y + e
// whose distance to the exact value is at most
//   errorPerResult * |y| + absError
// (absError covers the argument reduction). The result is the double
// nearest y + e, which is y, when y + e - bound and y + e + bound round to
// the same double; otherwise the lane is undecided and the caller takes the
// slow path.
//
// Error bound, with u = 2^-53 and R = pi/2048 (1 + 2^-22) >= |r|. For the
// sine (the cosine is symmetric, with C and S exchanged):
// - table: |S - head - tail| <= 2^-80 |S|, the same for C;
// - C r: head(C) * head(r) and head(C) * tail(r's head) are exact; the
//   remaining products are at most 2^-26 |C r| and rounded once;
// - brackets: rounding r^2 and the Taylor polynomials (truncated at r^9 and
//   r^8, below 2^-90 relative) give at most 3.25 u R^2 |S| for S (cos r - 1)
//   and 1.3 u R^2 |C r| for C (sin r - r);
// - the sum of the low parts: at most 0.5 u R^2 |S| + 2^-76.4 (|S| + |C r|).
// With |S| <= 2 |sin(a + r)| and |C r| <= 1.0001 |sin(a + r)| (the table
// entry nearest the argument is used, and for i = 0 the sine is near r):
// 2 * 3.75 u R^2 + 1.0001 * 1.3 u R^2 + 2^-75 < 2^-68.48. errorPerResult
// (2^-68.4) adds the margin for the rounding of the bound itself and for
// the relative error 2^-100 of the reduction of huge arguments.
// The reduction of moderate arguments (|theta| < 2^20, |k| < 2^29) is exact
// except for k times the fourth piece of pi/1024 (rounded once, then added
// once) and the truncation of pi/1024 after 140 bits: at most
// |k| * 2^-137.0, to which the rounding of C * (low part of r) adds
// |k| * 2^-137.3; reductionErrorPerStep = 2^-135 covers both.

constexpr double moderateLow = 0x1p-27;   // below: sin = theta, cos = 1 after rounding
constexpr double moderateHigh = 0x1p20;   // from here on: Payne-Hanek reduction
constexpr double errorPerResult = 0x1.ep-69;         // 2^-68.09
constexpr double reductionErrorPerRadian = 0x1p-126;
constexpr double roundingShifter = 0x1.8p52;         // adding it rounds to an integer

// The sine and cosine of k * pi/1024 + rhi + rlo for k = index (mod 2048),
// with |rhi + rlo| <= R and rhi + rlo within absError of the exact reduced
// argument. Writes the candidate results; returns the lanes in which they
// are correctly rounded.
inline Mask sinCosReduced(Bits index, Vec rhi, Vec rlo, Vec absError, Vec* sine, Vec* cosine) {
    using namespace sincos_tables;
    const Bits entry = lowBits<511>(index);
    const Vec sHead = lookup(sinHigh, entry);
    const Vec sTail = lookup(sinLow, entry);
    const Vec cHead = lookup(cosHigh, entry);
    const Vec cTail = lookup(cosLow, entry);
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

    // Sine: sHead + cHead rh exactly as sh + se, then the small terms.
    const Vec ps = mul(cHead, rh);
    const Vec sh = add(sHead, ps);
    const Vec se = sub(ps, sub(sh, sHead));
    Vec sl = add(se, mul(c, rl2));
    sl = add(sl, mul(cTail, rh));
    sl = add(sl, sTail);
    sl = add(sl, add(mul(s, cosRest), mul(c, sinRest)));

    // Cosine: cHead - sHead rh exactly as ch + ce, then the small terms.
    const Vec pc = mul(sHead, rh);
    const Vec ch = sub(cHead, pc);
    const Vec ce = sub(sub(cHead, ch), pc);
    Vec cl = sub(ce, mul(s, rl2));
    cl = sub(cl, mul(sTail, rh));
    cl = add(cl, cTail);
    cl = add(cl, sub(mul(c, cosRest), mul(s, sinRest)));

    // Rounding test on the unnormalised pair (|low| < 2^-18.5 |high|). The
    // cosine of the reduced argument is at least sin(pi/2048) / 1.0001, so
    // absError <= 2^-106 is negligible there; the sine can be tiny.
    const Vec sBound = add(mul(absolute(sh), splat(errorPerResult)), absError);
    const Vec cBound = mul(absolute(ch), splat(errorPerResult));
    const Vec sy = add(sh, sub(sl, sBound));
    const Vec cy = add(ch, sub(cl, cBound));
    const Mask sinDecided = sameValue(sy, add(sh, add(sl, sBound)));
    const Mask cosDecided = sameValue(cy, add(ch, add(cl, cBound)));

    // Quarter turn q = (index >> 9) & 3: (sin, cos) of q pi/2 + x is
    // (sin x, cos x), (cos x, -sin x), (-sin x, -cos x), (-cos x, sin x):
    // the sine is negative for q = 2, 3 and the cosine for q + 1 = 2, 3.
    const Mask odd = bitIsSet<9>(index);
    *sine = negateIfBitSet<10>(select(odd, cy, sy), index);
    *cosine = negateIfBitSet<10>(select(odd, sy, cy), addBits<512>(index));
    return bothSet(sinDecided, cosDecided);
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
    return sinCosReduced(bitsOf(t), rhi, rlo, mul(magnitude, splat(reductionErrorPerRadian)), sine, cosine);
}
