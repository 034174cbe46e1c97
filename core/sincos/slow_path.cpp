// The slow path of the sine-cosine routine: fixed-point arithmetic on 32-bit
// limbs, exact except for truncations that are counted, so that the result
// is the same on every processor and compiler.
#include <cstring>
#include <iterator>

#include "sincos/internal.h"
#include "sincos/generated/sincos_tables.h"

namespace spectrogrid {
namespace sincos_slow {

namespace {

using Limb = std::uint32_t;

// Numbers are little-endian limb arrays: a[0] is the least significant.
// A "fraction of n limbs" has the value sum a[i] 2^(32 i - 32 n).

// Limb w of a, zero outside the array.
std::uint64_t limbAt(const Limb* a, int limbCount, int w) {
    return (w >= 0 && w < limbCount) ? a[w] : 0;
}

// Bits [position, position + width) of a, 1 <= width <= 64, any position;
// bits outside the array read as zero.
std::uint64_t extractBits(const Limb* a, int limbCount, int position, int width) {
    const int w = position >= 0 ? position / 32 : -((-position + 31) / 32);
    const int shift = position - 32 * w;  // 0 .. 31
    const std::uint64_t low = limbAt(a, limbCount, w) | (limbAt(a, limbCount, w + 1) << 32);
    std::uint64_t result = low >> shift;
    if (shift != 0) result |= limbAt(a, limbCount, w + 2) << (64 - shift);
    return width == 64 ? result : result & ((std::uint64_t{1} << width) - 1);
}

Limb extractLimb(const Limb* a, int limbCount, int position) {
    return static_cast<Limb>(extractBits(a, limbCount, position, 32));
}

// c = a * b truncated to n limbs; a, b and c fractions of n limbs.
void multiplyFractions(const Limb* a, const Limb* b, int n, Limb* c) {
    Limb full[2 * maxFractionLimbs];
    for (int i = 0; i < n; ++i) full[i] = 0;
    for (int i = 0; i < n; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < n; ++j) {
            const std::uint64_t t = full[i + j] + static_cast<std::uint64_t>(a[i]) * b[j] + carry;
            full[i + j] = static_cast<Limb>(t);
            carry = t >> 32;
        }
        full[i + n] = static_cast<Limb>(carry);
    }
    for (int i = 0; i < n; ++i) c[i] = full[n + i];
}

// a = a / d truncated, for a small divisor d.
void divideSmall(Limb* a, int n, Limb d) {
    std::uint64_t remainder = 0;
    for (int i = n - 1; i >= 0; --i) {
        const std::uint64_t current = (remainder << 32) | a[i];
        a[i] = static_cast<Limb>(current / d);
        remainder = current % d;
    }
}

void addTo(Limb* a, const Limb* b, int n) {
    std::uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t t = static_cast<std::uint64_t>(a[i]) + b[i] + carry;
        a[i] = static_cast<Limb>(t);
        carry = t >> 32;
    }
}

// a = a - b (modulo 2^(32 n)).
void subtractFrom(Limb* a, const Limb* b, int n) {
    std::uint64_t borrow = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint64_t t = static_cast<std::uint64_t>(a[i]) - b[i] - borrow;
        a[i] = static_cast<Limb>(t);
        borrow = (t >> 32) & 1;
    }
}

bool isZero(const Limb* a, int n) {
    for (int i = 0; i < n; ++i)
        if (a[i] != 0) return false;
    return true;
}

// a < b for numbers of n limbs.
bool isLess(const Limb* a, const Limb* b, int n) {
    for (int i = n - 1; i >= 0; --i)
        if (a[i] != b[i]) return a[i] < b[i];
    return false;
}

// A double as mantissa * 2^exponent with 2^52 <= mantissa < 2^53 (or zero).
struct Rounded {
    std::uint64_t mantissa;
    int exponent;
};

// The integer a of `limbs` limbs times 2^scale, rounded to nearest with
// ties to even (no underflow or overflow occurs for the values used here).
Rounded roundToNearest(const Limb* a, int limbs, int scale) {
    Rounded r = {0, 0};
    int w = limbs - 1;
    while (w >= 0 && a[w] == 0) --w;
    if (w < 0) return r;
    int top = 32 * w + 31;
    while (((a[w] >> (top & 31)) & 1u) == 0) --top;
    if (top <= 52) {
        r.mantissa = extractBits(a, limbs, 0, 53) << (52 - top);
        r.exponent = scale - (52 - top);
        return r;
    }
    const int low = top - 52;
    r.mantissa = extractBits(a, limbs, low, 53);
    r.exponent = scale + low;
    const bool roundBit = extractBits(a, limbs, low - 1, 1) != 0;
    bool sticky = false;
    for (int bit = 0; bit < low - 1 && !sticky; bit += 64)
        sticky = extractBits(a, limbs, bit, (low - 1 - bit) < 64 ? (low - 1 - bit) : 64) != 0;
    if (roundBit && (sticky || (r.mantissa & 1))) {
        ++r.mantissa;
        if (r.mantissa == (std::uint64_t{1} << 53)) {
            r.mantissa >>= 1;
            ++r.exponent;
        }
    }
    return r;
}

double powerOfTwo(int e) {  // -1022 <= e <= 1023
    const std::uint64_t bits = static_cast<std::uint64_t>(e + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

double toDouble(Rounded r, bool negative) {
    double d = static_cast<double>(r.mantissa);
    int e = r.exponent;
    while (e < -1000) {  // every step stays normal: the values are above 2^-1000
        d *= powerOfTwo(-1000);
        e += 1000;
    }
    d *= powerOfTwo(e);
    return negative ? -d : d;
}

// The correctly rounded value of a fixed-point number v of `limbs` limbs
// (scale 2^(-32 n)) known to within `bound` units of its last place, or
// false when v - bound and v + bound round differently.
bool roundWithin(const Limb* v, int limbs, int n, std::uint32_t bound, Rounded* result) {
    Limb low[maxFractionLimbs + 2] = {};
    Limb high[maxFractionLimbs + 2] = {};
    Limb b[maxFractionLimbs + 2] = {};
    b[0] = bound;
    if (isLess(v, b, limbs) || isZero(v, limbs)) return false;
    std::memcpy(low, v, sizeof(Limb) * limbs);
    std::memcpy(high, v, sizeof(Limb) * limbs);
    subtractFrom(low, b, limbs);
    addTo(high, b, limbs);
    const Rounded a = roundToNearest(low, limbs, -32 * n);
    const Rounded c = roundToNearest(high, limbs, -32 * n);
    if (a.mantissa != c.mantissa || a.exponent != c.exponent) return false;
    *result = a;
    return true;
}

// sin r and 1 - cos r for 0 <= r <= pi/4 + 2^-32n (fractions of n limbs)
// from the Taylor series with term_k = r^k / k! truncated at every step.
// Returns the error bound in units of the last place: each truncation of
// term_k adds at most 2 units to its error, so the terms added carry at
// most k^2 units; the terms left out (from the first zero one on) are below
// 4k units; r itself is within 4 units: k^2 + 4k + 8.
std::uint32_t sinAndCosDropBySeries(const Limb* r, int n, Limb* sine, Limb* cosDrop) {
    Limb term[maxFractionLimbs], sinMinus[maxFractionLimbs], cosMinus[maxFractionLimbs];
    for (int i = 0; i < n; ++i) {
        term[i] = r[i];
        sine[i] = r[i];
        sinMinus[i] = 0;
        cosDrop[i] = 0;
        cosMinus[i] = 0;
    }
    std::uint32_t k = 1;
    while (!isZero(term, n)) {
        ++k;
        multiplyFractions(term, r, n, term);
        divideSmall(term, n, k);
        switch (k & 3u) {
            case 0: addTo(cosMinus, term, n); break;  // r^4/4!, r^8/8!, ...
            case 1: addTo(sine, term, n); break;      // r^5/5!, r^9/9!, ...
            case 2: addTo(cosDrop, term, n); break;   // r^2/2!, r^6/6!, ...
            default: addTo(sinMinus, term, n); break; // r^3/3!, r^7/7!, ...
        }
    }
    subtractFrom(sine, sinMinus, n);
    subtractFrom(cosDrop, cosMinus, n);
    return k * k + 4 * k + 8;
}

// The same for n = hornerLimbs by Horner's scheme in z = r^2 with the
// tabulated 1/k!, without divisions:
//   sin r = r - r z P(z),  P = 1/3! - z/5! + ... + z^16/35!
//   1 - cos r = z Q(z),    Q = 1/2! - z/4! + ... + z^16/34!
// (the next terms are below 2^-134). With z <= 0.62 each Horner step adds
// at most 2 units (coefficient and product truncated) to an error that the
// next step scales by z: at most 5.3 units in P and Q, 4.4 in sin r and 5.4
// in 1 - cos r, plus 4 units from r: bound 16.
constexpr int hornerLimbs = 4;
constexpr int hornerDegree = 16;

std::uint32_t sinAndCosDropByHorner(const Limb* r, Limb* sine, Limb* cosDrop) {
    constexpr int n = hornerLimbs;
    auto coefficient = [](int k, Limb* c) {  // 1/k!, least significant limb first
        for (int i = 0; i < n; ++i) c[i] = sincos_tables::inverseFactorials[k - 2][n - 1 - i];
    };
    Limb z[n], p[n], q[n], product[n];
    multiplyFractions(r, r, n, z);
    coefficient(2 * hornerDegree + 3, p);
    coefficient(2 * hornerDegree + 2, q);
    for (int j = hornerDegree - 1; j >= 0; --j) {
        multiplyFractions(z, p, n, product);
        coefficient(2 * j + 3, p);
        subtractFrom(p, product, n);
        multiplyFractions(z, q, n, product);
        coefficient(2 * j + 2, q);
        subtractFrom(q, product, n);
    }
    Limb rz[n];
    multiplyFractions(r, z, n, rz);
    multiplyFractions(rz, p, n, product);
    for (int i = 0; i < n; ++i) sine[i] = r[i];
    subtractFrom(sine, product, n);
    multiplyFractions(z, q, n, cosDrop);
    return 16;
}

// One attempt with n fraction limbs. Returns true when both results are
// decided; `sine` and `cosine` get the nearest candidates in any case. The
// limb count is fixed at compile time, so that no attempt can read past the
// tables or the buffers.
template <int n>
bool attempt(std::uint64_t mantissa, int exponent, bool negativeTheta, double* sine,
             double* cosine) {
    static_assert(n >= 1 && n <= maxFractionLimbs, "more fraction limbs than the buffers hold");
    static_assert(n <= static_cast<int>(std::size(sincos_tables::piOverTwoFraction)),
                  "more fraction limbs than the table of pi/2 - 1 has");
    Limb z[maxFractionLimbs + 1];
    quarterTurns(mantissa, exponent, n, z);
    unsigned quadrant = z[n] & 3u;
    Limb f[maxFractionLimbs] = {};
    std::memcpy(f, z, sizeof(Limb) * n);
    // x = (quadrant + f) pi/2; fold f into [0, 1/2] with r = +-f pi/2.
    bool negativeR = false;
    if (f[n - 1] >> 31) {
        Limb one[maxFractionLimbs + 1] = {};
        one[n] = 1;  // 1 - f computed on n + 1 limbs
        Limb g[maxFractionLimbs + 1] = {};
        std::memcpy(g, f, sizeof(Limb) * n);
        subtractFrom(one, g, n + 1);
        std::memcpy(f, one, sizeof(Limb) * n);
        quadrant = (quadrant + 1) & 3u;
        negativeR = true;
    }
    // r = f + f (pi/2 - 1), within 4 units of the last place of f pi/2 exact.
    Limb piFraction[maxFractionLimbs] = {};
    for (int i = 0; i < n; ++i) piFraction[i] = sincos_tables::piOverTwoFraction[n - 1 - i];
    Limb r[maxFractionLimbs];
    multiplyFractions(f, piFraction, n, r);
    addTo(r, f, n);

    // sin r and 1 - cos r, each within `bound` units of the last place.
    Limb sinValue[maxFractionLimbs + 1] = {};
    Limb cosDrop[maxFractionLimbs + 1] = {};
    std::uint32_t bound;
    if constexpr (n == hornerLimbs) {
        bound = sinAndCosDropByHorner(r, sinValue, cosDrop);
    } else {
        bound = sinAndCosDropBySeries(r, n, sinValue, cosDrop);
    }
    Limb cosValue[maxFractionLimbs + 1] = {};
    cosValue[n] = 1;
    subtractFrom(cosValue, cosDrop, n + 1);

    Rounded sinR = {0, 0}, cosR = {0, 0};
    const bool decided = roundWithin(sinValue, n + 1, n, bound, &sinR) &&
                         roundWithin(cosValue, n + 1, n, bound, &cosR);
    if (!decided) {
        sinR = roundToNearest(sinValue, n + 1, -32 * n);
        cosR = roundToNearest(cosValue, n + 1, -32 * n);
    }
    // (sin, cos) of quadrant pi/2 + x from (sin x, cos x), x = +-r.
    const double s = toDouble(sinR, negativeR);
    const double c = toDouble(cosR, false);
    double sinX = s, cosX = c;
    switch (quadrant) {
        case 1: sinX = c; cosX = -s; break;
        case 2: sinX = -s; cosX = -c; break;
        case 3: sinX = -c; cosX = s; break;
        default: break;
    }
    *sine = negativeTheta ? -sinX : sinX;
    *cosine = cosX;
    return decided;
}

}  // namespace

// With exponent <= 971 the limbs of 2/pi read below lie within the table.
static_assert((971 - 2) / 32 + maxFractionLimbs + 3 <= static_cast<int>(std::size(sincos_tables::twoOverPi)),
              "the table of 2/pi is too short for the widest reduction");

void quarterTurns(std::uint64_t mantissa, int exponent, int fractionLimbs, std::uint32_t* z) {
    using sincos_tables::twoOverPi;
    // Limb t of 2/pi contributes mantissa * limb * 2^(exponent - 32 (t + 1)),
    // a multiple of 4 when 32 (t + 1) <= exponent - 2: skip those.
    const int first = exponent >= 2 ? (exponent - 2) / 32 : 0;
    // Enough limbs that the rest is below 2^(-32 fractionLimbs - 10).
    const int count = fractionLimbs + 3;
    Limb g[maxFractionLimbs + 3];
    for (int i = 0; i < count; ++i) g[i] = twoOverPi[first + count - 1 - i];
    const Limb m[2] = {static_cast<Limb>(mantissa), static_cast<Limb>(mantissa >> 32)};
    Limb product[maxFractionLimbs + 5] = {};
    for (int i = 0; i < 2; ++i) {
        std::uint64_t carry = 0;
        for (int j = 0; j < count; ++j) {
            const std::uint64_t t = product[i + j] + static_cast<std::uint64_t>(m[i]) * g[j] + carry;
            product[i + j] = static_cast<Limb>(t);
            carry = t >> 32;
        }
        product[i + count] = static_cast<Limb>(carry);
    }
    // product * 2^(exponent - 32 (first + count)) is |x| * 2/pi less
    // multiples of 4; `point` is the position of its binary point.
    const int point = 32 * (first + count) - exponent;
    const int length = count + 2;
    z[fractionLimbs] = extractLimb(product, length, point) & 3u;
    for (int i = 0; i < fractionLimbs; ++i)
        z[i] = extractLimb(product, length, point - 32 * (fractionLimbs - i));
}

namespace {

void decompose(double theta, std::uint64_t* mantissa, int* exponent, bool* negative) {
    std::uint64_t bits;
    std::memcpy(&bits, &theta, sizeof bits);
    *negative = (bits >> 63) != 0;
    // Normal numbers only: the caller handles |theta| < 2^-27.
    *mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    *exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
}

}  // namespace

bool sinCosWithLimbs(double theta, int fractionLimbs, double* sine, double* cosine) {
    std::uint64_t mantissa;
    int exponent;
    bool negative;
    decompose(theta, &mantissa, &exponent, &negative);
    switch (fractionLimbs) {
        case 4: return attempt<4>(mantissa, exponent, negative, sine, cosine);
        case 8: return attempt<8>(mantissa, exponent, negative, sine, cosine);
        case 16: return attempt<16>(mantissa, exponent, negative, sine, cosine);
        case 32: return attempt<32>(mantissa, exponent, negative, sine, cosine);
        default: return false;
    }
}

int sinCos(double theta, double* sine, double* cosine) {
    std::uint64_t mantissa;
    int exponent;
    bool negative;
    decompose(theta, &mantissa, &exponent, &negative);
    if (attempt<4>(mantissa, exponent, negative, sine, cosine)) return 128;
    if (attempt<8>(mantissa, exponent, negative, sine, cosine)) return 256;
    if (attempt<16>(mantissa, exponent, negative, sine, cosine)) return 512;
    attempt<32>(mantissa, exponent, negative, sine, cosine);
    return 1024;
}

}  // namespace sincos_slow
}  // namespace spectrogrid
