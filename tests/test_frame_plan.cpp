// Frame geometry: the documented cases, the guards that keep every frame
// inside the signal, and plans that make no sense.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "reference.h"
#include "spectrogrid_core.h"

using spectrogrid::FramePlan;
using spectrogrid::planFrames;

namespace {

void expectPlan(std::int32_t N, std::int32_t L, double overlap, std::int32_t hop,
                std::int32_t frames) {
    const FramePlan plan = planFrames(N, L, overlap);
    EXPECT_EQ(plan.hop, hop) << "N=" << N << " L=" << L << " overlap=" << overlap;
    EXPECT_EQ(plan.frameCount, frames) << "N=" << N << " L=" << L << " overlap=" << overlap;
}

}  // namespace

TEST(FramePlan, DocumentedGeometries) {
    expectPlan(1000, 256, 128, 128, 6);
    expectPlan(24, 10, 2.5, 7, 3);   // frames start at 0, 7, 14; the last ends at 23
    expectPlan(20, 4, -2, 6, 3);     // gaps of two samples
    expectPlan(4, 2, 0, 2, 2);
    expectPlan(20, 5, 0, 5, 4);
    expectPlan(1, 1, 0, 1, 1);
    expectPlan(7, 1, -0.5, 1, 7);    // hop trunc(1.5) = 1
}

TEST(FramePlan, FractionalOverlapNeverReachesPastTheSignal) {
    // 21 - (1 + 2^-50) rounds to 20 exactly, 4 - (1 + 2^-50) keeps the
    // fraction: the quotient lands on 10, but only 9 frames fit.
    expectPlan(21, 4, 1.0 + std::ldexp(1.0, -50), 2, 9);
}

TEST(FramePlan, ShortSignalsGiveNoFrames) {
    expectPlan(9, 10, 2, 8, 0);     // shorter than one frame, longer than the overlap
    expectPlan(1, 10, 2, 8, 0);     // shorter than the overlap: never negative
    expectPlan(0, 10, 0, 10, 0);
    expectPlan(0, 1, 0, 1, 0);
}

TEST(FramePlan, MeaninglessPlansGiveNoFrames) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(planFrames(100, 10, 10).frameCount, 0);     // hop 0
    EXPECT_EQ(planFrames(100, 10, 9.5).frameCount, 0);    // hop trunc(0.5) = 0
    EXPECT_EQ(planFrames(100, 10, 50).frameCount, 0);     // negative hop
    EXPECT_EQ(planFrames(100, 10, nan).frameCount, 0);
    EXPECT_EQ(planFrames(100, 10, inf).frameCount, 0);
    EXPECT_EQ(planFrames(100, 10, -inf).frameCount, 0);
    EXPECT_EQ(planFrames(100, 10, -1e300).frameCount, 0);  // hop beyond int32
    EXPECT_EQ(planFrames(100, 10, -1e300).hop, 0);
    EXPECT_EQ(planFrames(100, 0, -5).frameCount, 0);       // no window
    EXPECT_EQ(planFrames(100, -3, -5).frameCount, 0);
    EXPECT_EQ(planFrames(-5, 2, 0).frameCount, 0);
}

TEST(FramePlan, LargestSizesStayInRange) {
    const std::int32_t maxLength = std::numeric_limits<std::int32_t>::max();
    expectPlan(maxLength, 1, 0, 1, maxLength);
    expectPlan(maxLength, maxLength, 0, maxLength, 1);
    // A hop just inside int32: the second frame starts at 2^31 - 6.
    expectPlan(maxLength, 2, -2147483640.0, maxLength - 5, 2);
    expectPlan(1000, 1, -0.999, 1, 1000);
}

TEST(FramePlan, RandomGeometriesMatchTheReferenceAndFitTheSignal) {
    std::mt19937_64 rng(7001);
    std::uniform_int_distribution<int> length(0, 400);
    std::uniform_int_distribution<int> window(1, 64);
    std::uniform_real_distribution<double> fraction(-1.0, 1.0);
    for (int trial = 0; trial < 20000; ++trial) {
        const std::int32_t N = length(rng);
        const std::int32_t L = window(rng);
        double overlap = std::floor(fraction(rng) * L * 1.5);
        if (trial % 3 == 1) overlap += fraction(rng);
        if (trial % 3 == 2) overlap += std::ldexp(fraction(rng), -45);
        const FramePlan plan = planFrames(N, L, overlap);
        const reference::Plan expected = reference::plan(N, L, overlap);
        ASSERT_EQ(plan.hop, expected.hop) << N << " " << L << " " << overlap;
        ASSERT_EQ(plan.frameCount, expected.frameCount) << N << " " << L << " " << overlap;
        ASSERT_GE(plan.frameCount, 0);
        if (plan.frameCount > 0) {
            ASSERT_LE(static_cast<std::int64_t>(plan.frameCount - 1) * plan.hop + L, N);
        }
    }
}

TEST(FramePlan, AngularStepsDivideThenMultiply) {
    double steps[3] = {-1, -1, -1};
    spectrogrid::fillAngularSteps(steps, 2, 2.0);
    EXPECT_EQ(steps[0], 0.0);
    EXPECT_FALSE(std::signbit(steps[0]));
    EXPECT_EQ(steps[1], 3.141592653589793);
    EXPECT_EQ(steps[2], -1);  // nothing past L

    // 5 / 11 * 2pi and 5 * 2pi / 11 differ in the last bit; the former is fixed.
    double eleven[6];
    spectrogrid::fillAngularSteps(eleven, 6, 11.0);
    EXPECT_EQ(eleven[5], reference::roundedProduct(5.0 / 11.0, 6.283185307179586));
    EXPECT_NE(eleven[5], reference::roundedProduct(5.0, 6.283185307179586) / 11.0);

    spectrogrid::fillAngularSteps(steps, 0, 2.0);
    spectrogrid::fillAngularSteps(steps, -4, 2.0);
    EXPECT_EQ(steps[1], 3.141592653589793);
}

TEST(FramePlan, TimesAreFrameCentres) {
    double times[6];
    spectrogrid::fillFrameTimes(times, 6, 128, 256, 1000.0);
    const double expected[6] = {0.128, 0.256, 0.384, 0.512, 0.64, 0.768};
    for (int j = 0; j < 6; ++j) EXPECT_EQ(times[j], expected[j]) << j;

    double odd[3];
    spectrogrid::fillFrameTimes(odd, 3, 5, 5, 1.0);
    EXPECT_EQ(odd[0], 2.5);
    EXPECT_EQ(odd[1], 7.5);
    EXPECT_EQ(odd[2], 12.5);

    double untouched[1] = {42};
    spectrogrid::fillFrameTimes(untouched, 0, 5, 5, 1.0);
    spectrogrid::fillFrameTimes(untouched, -1, 5, 5, 1.0);
    EXPECT_EQ(untouched[0], 42);
}
