// The sine-cosine routine of the twiddle tables: correctly rounded against
// MPFR on every kind of argument the analysis can form and on the hard
// ones, the slow path on its own, and the same bits from every instruction
// set.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "driver/kernel_sets.h"
#include "reference.h"
#include "sincos/sincos.h"
#include "sincos/internal.h"
#include "sincos/generated/sincos_tables.h"

namespace {


// The sanitizer build runs the same checks on a twentieth of the arguments.
#ifdef NDEBUG
constexpr long countScale = 1;
#else
constexpr long countScale = 20;
#endif

long scaled(long count) { return count / countScale; }

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double fromBits(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

std::uint64_t bitsOf(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

struct Tally {
    long checked = 0;
    long undecided = 0;  // arguments the fast path left to the slow path
    long wrong = 0;
};

void expectCorrectlyRounded(double theta, Tally* tally) {
    double s, c, expectedS, expectedC, fastS, fastC;
    spectrogrid::sinCos(theta, &s, &c);
    reference::correctlyRoundedSinCos(theta, &expectedS, &expectedC);
    ++tally->checked;
    if (!spectrogrid::sincos_scalar::sinCosFast(theta, &fastS, &fastC)) ++tally->undecided;
    const bool right = std::isnan(expectedS) ? (std::isnan(s) && std::isnan(c))
                                              : (sameBits(s, expectedS) && sameBits(c, expectedC));
    if (!right) {
        if (tally->wrong < 10)
            ADD_FAILURE() << std::hexfloat << "theta " << theta << ": sin " << s << " (expected "
                          << expectedS << "), cos " << c << " (expected " << expectedC << ")";
        ++tally->wrong;
    }
}

// The fast path's error bound is about 2^-68 of the result, so it leaves
// roughly one argument in 10^4 to the slow path: here at most one in 1000.
void report(const char* what, const Tally& tally) {
    std::printf("[ sincos   ] %-28s %9ld arguments, slow path %6ld (%.2e)\n", what, tally.checked,
                tally.undecided, tally.checked ? double(tally.undecided) / tally.checked : 0.0);
    testing::Test::RecordProperty("checked", static_cast<int>(tally.checked));
    testing::Test::RecordProperty("slowPath", static_cast<int>(tally.undecided));
    EXPECT_EQ(tally.wrong, 0);
    EXPECT_LE(tally.undecided * 1000, tally.checked) << what;
}

// The double nearest to m * pi / divisor, from MPFR.
double nearestMultipleOfPi(double m, long divisor) {
    mpfr_t x;
    mpfr_init2(x, 400);
    mpfr_const_pi(x, MPFR_RNDN);
    mpfr_mul_d(x, x, m, MPFR_RNDN);
    mpfr_div_si(x, x, divisor, MPFR_RNDN);
    const double d = mpfr_get_d(x, MPFR_RNDN);
    mpfr_clear(x);
    return d;
}

// A double whose bits are uniform over the finite values with exponents in
// [low, high] (unbiased), either sign.
double randomWithExponent(std::mt19937_64& rng, int low, int high) {
    const int exponent = low + static_cast<int>(rng() % static_cast<unsigned>(high - low + 1));
    const std::uint64_t mantissa = rng() & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t sign = rng() & (std::uint64_t{1} << 63);
    return fromBits(sign | (static_cast<std::uint64_t>(exponent + 1023) << 52) | mantissa);
}

// The arguments the twiddle tables form: angularSteps[i] * f with
// angularSteps[i] = i / fs * 6.283185307179586.
double gridArgument(std::mt19937_64& rng) {
    const double rates[] = {1.0, 2.0, 7.3, 1e-3, 8000.0, 44100.0, 48000.0, 96000.0, 192000.0};
    const double fs = (rng() % 4 == 0) ? std::ldexp(1.0 + (rng() % 1000) / 1000.0, int(rng() % 40) - 10)
                                       : rates[rng() % 9];
    const std::int64_t L = 1 + static_cast<std::int64_t>(rng() % 100000);
    const std::int64_t i = static_cast<std::int64_t>(rng() % L);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double f = 0;
    switch (rng() % 8) {
        case 0: f = fs / 2; break;                                       // Nyquist
        case 1: f = fs / 4 * double(1 + rng() % 3); break;               // quarter turns
        case 2: f = fs * double(rng() % L) / double(L); break;           // DFT bins
        case 3: f = -fs * unit(rng) / 2; break;                          // negative
        case 4: f = fs * unit(rng) * 50; break;                          // far above the rate
        default: f = fs * unit(rng) / 2; break;
    }
    const double step = static_cast<double>(i) / fs * 6.283185307179586;
    return step * f;
}

}  // namespace

TEST(SinCos, WorkedExampleSineOfPi) {
    double s, c;
    spectrogrid::sinCos(3.141592653589793, &s, &c);
    EXPECT_EQ(s, 1.2246467991473532e-16);
    EXPECT_EQ(c, -1.0);
    // The two imaginary parts of the worked example are -2 and -4 times it.
    EXPECT_EQ(-2.0 * s, -2.4492935982947064e-16);
    EXPECT_EQ(-4.0 * s, -4.898587196589413e-16);
}

TEST(SinCos, SpecialArguments) {
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {inf, -inf, std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
    for (double v : values) {
        double s = 0, c = 0;
        spectrogrid::sinCos(v, &s, &c);
        // One NaN everywhere: quiet, positive, no payload.
        EXPECT_EQ(bitsOf(s), 0x7ff8000000000000u) << v;
        EXPECT_EQ(bitsOf(c), 0x7ff8000000000000u) << v;
    }
    double s = 1, c = 0;
    spectrogrid::sinCos(0.0, &s, &c);
    EXPECT_TRUE(sameBits(s, 0.0) && c == 1.0);
    spectrogrid::sinCos(-0.0, &s, &c);
    EXPECT_TRUE(sameBits(s, -0.0) && c == 1.0);
    const double tiny = std::numeric_limits<double>::denorm_min();
    spectrogrid::sinCos(-tiny, &s, &c);
    EXPECT_TRUE(sameBits(s, -tiny) && c == 1.0);
}

TEST(SinCos, CorrectlyRoundedOnUniformArguments) {
    std::mt19937_64 rng(101);
    std::uniform_real_distribution<double> turn(-2 * M_PI, 2 * M_PI);
    Tally tally;
    for (long n = scaled(1000000); n > 0; --n) expectCorrectlyRounded(turn(rng), &tally);
    report("uniform in [-2pi, 2pi]", tally);
}

TEST(SinCos, CorrectlyRoundedOnTwiddleGrids) {
    std::mt19937_64 rng(102);
    Tally tally;
    for (long n = scaled(1200000); n > 0; --n) expectCorrectlyRounded(gridArgument(rng), &tally);
    // Whole rows as the core forms them: every i of one window.
    const double rows[][2] = {{48000, 24000}, {48000, 12000}, {44100, 1000}, {2, 1}, {8000, 3999.75}};
    for (const auto& row : rows) {
        for (std::int64_t i = 0; i < scaled(40000); ++i)
            expectCorrectlyRounded(static_cast<double>(i) / row[0] * 6.283185307179586 * row[1], &tally);
    }
    report("twiddle grids", tally);
}

TEST(SinCos, CorrectlyRoundedNearMultiplesOfPiOver4AndTableEdges) {
    std::mt19937_64 rng(103);
    Tally tally;
    for (long n = scaled(60000); n > 0; --n) {
        // Small and large multiples of pi/4, and the edges of the table steps
        // pi/1024 and their midpoints, with their neighbours.
        double m;
        long divisor;
        switch (rng() % 4) {
            case 0: m = double(rng() % 64); divisor = 4; break;
            case 1: m = double(rng() % (std::uint64_t{1} << 24)); divisor = 4; break;
            case 2: m = double(rng() % (std::uint64_t{1} << 52)); divisor = 4; break;
            default: m = double(rng() % (std::uint64_t{1} << 30)) + 0.5 * double(rng() % 2); divisor = 1024; break;
        }
        double x = nearestMultipleOfPi(m, divisor);
        if (rng() % 2) x = -x;
        expectCorrectlyRounded(x, &tally);
        double up = x, down = x;
        for (int k = 0; k < 3; ++k) {
            up = std::nextafter(up, std::numeric_limits<double>::infinity());
            down = std::nextafter(down, -std::numeric_limits<double>::infinity());
            expectCorrectlyRounded(up, &tally);
            expectCorrectlyRounded(down, &tally);
        }
    }
    report("near multiples of pi/4", tally);
}

TEST(SinCos, CorrectlyRoundedOnHugeArguments) {
    std::mt19937_64 rng(104);
    Tally tally;
    for (long n = scaled(500000); n > 0; --n) expectCorrectlyRounded(randomWithExponent(rng, 20, 1023), &tally);
    // The double closest to a multiple of pi/2 (relative distance 2^-61),
    // the largest double and the edges of the fast reduction.
    expectCorrectlyRounded(6381956970095103.0 * std::ldexp(1.0, 797), &tally);
    expectCorrectlyRounded(std::numeric_limits<double>::max(), &tally);
    expectCorrectlyRounded(-std::numeric_limits<double>::max(), &tally);
    for (double edge : {0x1p20, 0x1p1023}) {
        expectCorrectlyRounded(edge, &tally);
        expectCorrectlyRounded(std::nextafter(edge, 0.0), &tally);
        expectCorrectlyRounded(-edge, &tally);
    }
    report("huge, up to the largest", tally);
}

TEST(SinCos, CorrectlyRoundedOnTinyAndSubnormalArguments) {
    std::mt19937_64 rng(105);
    Tally tally;
    for (long n = scaled(200000); n > 0; --n) {
        if (rng() % 4 == 0)
            expectCorrectlyRounded(fromBits((rng() & ((std::uint64_t{1} << 52) - 1)) | (rng() & (std::uint64_t{1} << 63))), &tally);
        else
            expectCorrectlyRounded(randomWithExponent(rng, -1022, -20), &tally);
    }
    for (double edge : {0x1p-27, 0x1p-26, std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min()}) {
        for (double x : {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 1.0)}) {
            expectCorrectlyRounded(x, &tally);
            expectCorrectlyRounded(-x, &tally);
        }
    }
    expectCorrectlyRounded(0.0, &tally);
    expectCorrectlyRounded(-0.0, &tally);
    report("tiny and subnormal", tally);
}

// cos x = 1 - x^2/2 + x^4/24 - ...: for x = sqrt((2k + 1) 2^-53), rounded,
// the cosine lies within 2^-96 of the midpoint 1 - (k + 1/2) 2^-53 between
// two doubles, far inside the fast path's error bound of 2^-68. Only the
// slow path can round these, and every one must reach it.
TEST(SinCos, CosinesNextToAMidpointReachTheSlowPath) {
    Tally tally;
    for (int k = 0; k < 64; ++k) {
        const double x = std::sqrt(std::ldexp(2.0 * k + 1.0, -53));
        expectCorrectlyRounded(x, &tally);
        expectCorrectlyRounded(-x, &tally);
    }
    EXPECT_EQ(tally.wrong, 0);
    EXPECT_EQ(tally.undecided, tally.checked);
}

// The slow path decides on its own, on arguments of every kind (it rarely
// runs in the tests above).
TEST(SinCos, SlowPathAloneIsCorrectlyRounded) {
    std::mt19937_64 rng(106);
    std::uniform_real_distribution<double> turn(-2 * M_PI, 2 * M_PI);
    long wrong = 0;
    long n = scaled(150000);
    for (long k = 0; k < n; ++k) {
        double theta;
        switch (k % 5) {
            case 0: theta = turn(rng); break;
            case 1: theta = gridArgument(rng); break;
            case 2: theta = randomWithExponent(rng, -27, 1023); break;
            case 3: theta = nearestMultipleOfPi(double(rng() % (std::uint64_t{1} << 40)), 2); break;
            default: theta = nearestMultipleOfPi(double(rng() % 1000), 1); break;
        }
        if (std::fabs(theta) < 0x1p-27) continue;
        double s, c, expectedS, expectedC;
        spectrogrid::sincos_slow::sinCos(theta, &s, &c);
        reference::correctlyRoundedSinCos(theta, &expectedS, &expectedC);
        if (!sameBits(s, expectedS) || !sameBits(c, expectedC)) {
            if (wrong < 10)
                ADD_FAILURE() << std::hexfloat << "theta " << theta << ": sin " << s << " (expected "
                              << expectedS << "), cos " << c << " (expected " << expectedC << ")";
            ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    // The hardest reduction (the double nearest a multiple of pi/2) comes
    // out right too.
    const double hardest = 6381956970095103.0 * std::ldexp(1.0, 797);
    double s, c, expectedS, expectedC;
    spectrogrid::sincos_slow::sinCos(hardest, &s, &c);
    reference::correctlyRoundedSinCos(hardest, &expectedS, &expectedC);
    EXPECT_TRUE(sameBits(s, expectedS) && sameBits(c, expectedC));
}

// Every precision of the slow path, the higher ones being almost never
// needed otherwise, on huge and ordinary arguments.
TEST(SinCos, SlowPathAtEveryPrecision) {
    std::mt19937_64 rng(108);
    for (int limbs : {4, 8, 16, 32}) {
        long wrong = 0, undecided = 0;
        for (long k = scaled(4000); k > 0; --k) {
            const double theta = (k % 2) ? randomWithExponent(rng, -27, 1023) : randomWithExponent(rng, 900, 1023);
            double s, c, expectedS, expectedC;
            if (!spectrogrid::sincos_slow::sinCosWithLimbs(theta, limbs, &s, &c)) {
                ++undecided;
                continue;
            }
            reference::correctlyRoundedSinCos(theta, &expectedS, &expectedC);
            if (!sameBits(s, expectedS) || !sameBits(c, expectedC)) {
                if (wrong < 5) ADD_FAILURE() << std::hexfloat << limbs << " limbs, theta " << theta;
                ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << limbs << " limbs";
        EXPECT_LE(undecided, 2) << limbs << " limbs";
    }
}

// The generated constants against MPFR: a slip in the table generator or an
// edit by hand shows up here rather than as a rare wrong rounding.
TEST(SinCos, TablesMatchMpfr) {
    using namespace spectrogrid::sincos_tables;
    mpfr_t a, s, c, t;
    mpfr_inits2(300, a, s, c, t, static_cast<mpfr_ptr>(nullptr));
    for (int i = 0; i < 512; ++i) {
        mpfr_const_pi(a, MPFR_RNDN);
        mpfr_mul_si(a, a, i, MPFR_RNDN);
        mpfr_div_si(a, a, 1024, MPFR_RNDN);
        mpfr_sin_cos(s, c, a, MPFR_RNDN);
        const double heads[2] = {sinHigh[i], cosHigh[i]};
        const double tails[2] = {sinLow[i], cosLow[i]};
        mpfr_ptr exact[2] = {s, c};
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(bitsOf(heads[k]) & ((std::uint64_t{1} << 26) - 1), 0u) << i;  // 27 bits
            mpfr_sub_d(t, exact[k], heads[k], MPFR_RNDN);
            mpfr_sub_d(t, t, tails[k], MPFR_RNDN);
            mpfr_div(t, t, exact[k], MPFR_RNDN);
            if (i > 0 || k == 1) {
                EXPECT_LE(std::fabs(mpfr_get_d(t, MPFR_RNDN)), 0x1p-80) << i;
            }
        }
    }
    // 2/pi, limb by limb.
    mpfr_t twoOverPiExact;
    mpfr_init2(twoOverPiExact, 3000);
    mpfr_const_pi(twoOverPiExact, MPFR_RNDN);
    mpfr_ui_div(twoOverPiExact, 2, twoOverPiExact, MPFR_RNDN);
    for (int i = 0; i < 80; ++i) {
        mpfr_mul_2ui(twoOverPiExact, twoOverPiExact, 32, MPFR_RNDN);
        const unsigned long limb = mpfr_get_ui(twoOverPiExact, MPFR_RNDZ);
        mpfr_sub_ui(twoOverPiExact, twoOverPiExact, limb, MPFR_RNDN);
        EXPECT_EQ(twoOverPi[i], limb) << i;
    }
    mpfr_clear(twoOverPiExact);
    // pi/1024 from its pieces, to 2^-135 relative.
    mpfr_const_pi(a, MPFR_RNDN);
    mpfr_div_ui(a, a, 1024, MPFR_RNDN);
    mpfr_set(t, a, MPFR_RNDN);
    for (double piece : {stepPiece0, stepPiece1, stepPiece2, stepPiece3}) mpfr_sub_d(t, t, piece, MPFR_RNDN);
    mpfr_div(t, t, a, MPFR_RNDN);
    EXPECT_LE(std::fabs(mpfr_get_d(t, MPFR_RNDN)), 0x1p-130);
    mpfr_clears(a, s, c, t, static_cast<mpfr_ptr>(nullptr));
}

namespace {

// Arguments of every kind, specials and fast-path failures included.
std::vector<double> mixedArguments(std::size_t count) {
    std::mt19937_64 rng(107);
    std::uniform_real_distribution<double> turn(-2 * M_PI, 2 * M_PI);
    std::vector<double> values;
    const double specials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min(), 0x1p-27, 0x1p20,
                               std::nextafter(0x1p20, 0.0), std::numeric_limits<double>::max()};
    while (values.size() < count) {
        switch (rng() % 8) {
            case 0: values.push_back(specials[rng() % 10]); break;
            case 1: values.push_back(randomWithExponent(rng, -1022, 1023)); break;
            case 2: values.push_back(randomWithExponent(rng, 20, 30)); break;
            case 3: values.push_back(gridArgument(rng)); break;
            default: values.push_back(turn(rng)); break;
        }
    }
    // Arguments the fast path cannot decide, spread over the lanes.
    std::vector<double> undecided;
    for (long k = 0; undecided.size() < 64 && k < 20000000; ++k) {
        const double x = (k % 2) ? turn(rng) : gridArgument(rng);
        double s, c;
        if (!spectrogrid::sincos_scalar::sinCosFast(x, &s, &c)) undecided.push_back(x);
    }
    EXPECT_GE(undecided.size(), 16u);
    for (std::size_t k = 0; k < undecided.size(); ++k) values[(k * 7919) % values.size()] = undecided[k];
    return values;
}

// The batch routine of every instruction set this processor runs.
std::vector<const spectrogrid::KernelSet*> supportedSets() {
    std::vector<const spectrogrid::KernelSet*> sets;
    for (int s = 0; s < spectrogrid::kernelSetCount; ++s) {
        const spectrogrid::KernelSet* set = spectrogrid::kernelSets[s];
        if (spectrogrid::instructionSetSupported(set->set)) {
            sets.push_back(set);
        } else {
            std::printf("[ sincos   ] %s not supported here: not tested\n", set->name);
        }
    }
    return sets;
}

}  // namespace

TEST(SinCosBatch, EveryInstructionSetGivesTheScalarBits) {
    const std::vector<double> theta = mixedArguments(static_cast<std::size_t>(scaled(400000)) + 1000);
    const std::size_t n = theta.size();
    std::vector<double> sine(n), cosine(n);
    for (std::size_t i = 0; i < n; ++i) spectrogrid::sinCos(theta[i], &sine[i], &cosine[i]);
    for (const spectrogrid::KernelSet* set : supportedSets()) {
        std::vector<double> s(n, 7.0), c(n, 7.0);
        set->fillSinCos(theta.data(), s.data(), c.data(), static_cast<std::int64_t>(n));
        EXPECT_EQ(std::memcmp(s.data(), sine.data(), n * sizeof(double)), 0) << set->name;
        EXPECT_EQ(std::memcmp(c.data(), cosine.data(), n * sizeof(double)), 0) << set->name;
    }
}

TEST(SinCosBatch, LengthsAroundTheVectorWidthsMisalignedAndInPlace) {
    const std::vector<double> theta = mixedArguments(80);
    for (const spectrogrid::KernelSet* set : supportedSets()) {
        for (std::int64_t n : {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 33, 63}) {
            // One double past an aligned start; the slots after n stay untouched.
            std::vector<double> in(n + 2), s(n + 2, 7.0), c(n + 2, 7.0);
            std::copy(theta.begin(), theta.begin() + n, in.begin() + 1);
            set->fillSinCos(in.data() + 1, s.data() + 1, c.data() + 1, n);
            for (std::int64_t i = 0; i < n; ++i) {
                double es, ec;
                spectrogrid::sinCos(theta[i], &es, &ec);
                EXPECT_TRUE(sameBits(s[i + 1], es) && sameBits(c[i + 1], ec))
                    << set->name << " n=" << n << " i=" << i;
            }
            EXPECT_EQ(s[0], 7.0);
            EXPECT_EQ(s[n + 1], 7.0);
            EXPECT_EQ(c[n + 1], 7.0);
            // The sines, then the cosines, written over the arguments.
            std::vector<double> inPlace(theta.begin(), theta.begin() + n), other(n);
            set->fillSinCos(inPlace.data(), inPlace.data(), other.data(), n);
            for (std::int64_t i = 0; i < n; ++i)
                EXPECT_TRUE(sameBits(inPlace[i], s[i + 1]) && sameBits(other[i], c[i + 1]))
                    << set->name << " sines in place, n=" << n << " i=" << i;
            inPlace.assign(theta.begin(), theta.begin() + n);
            set->fillSinCos(inPlace.data(), other.data(), inPlace.data(), n);
            for (std::int64_t i = 0; i < n; ++i)
                EXPECT_TRUE(sameBits(other[i], s[i + 1]) && sameBits(inPlace[i], c[i + 1]))
                    << set->name << " cosines in place, n=" << n << " i=" << i;
        }
    }
}
