// Frame geometry, angular step table and time axis.
#include "spectrogrid_core.h"

#include <cmath>

#include "driver/threads.h"

namespace spectrogrid {

namespace {

// The double nearest to 2*pi.
constexpr double twoPi = 6.283185307179586;

// 2^31 as a double: every value strictly inside (-2^31 - 1, 2^31) truncates
// to a representable int32.
constexpr double int32Limit = 2147483648.0;

bool truncatesToInt32(double value) {
    return value > -int32Limit - 1.0 && value < int32Limit;
}

}  // namespace

FramePlan planFrames(std::int32_t signalLength, std::int32_t windowLength, double overlap) {
    FramePlan plan = {0, 0};
    if (!std::isfinite(overlap)) return plan;

    const double span = static_cast<double>(windowLength) - overlap;
    if (!truncatesToInt32(span)) return plan;
    plan.hop = static_cast<std::int32_t>(span);
    if (plan.hop < 1 || windowLength < 1 || signalLength < windowLength) return plan;

    const double quotient =
        (static_cast<double>(signalLength) - overlap) / static_cast<double>(plan.hop);
    if (!(quotient >= 1.0)) return plan;
    const double frames = std::floor(quotient);
    std::int64_t frameCount = frames < int32Limit ? static_cast<std::int64_t>(frames)
                                                  : static_cast<std::int64_t>(INT32_MAX);

    // A fraction of the overlap that is lost in N - overlap but kept in
    // L - overlap can push the quotient onto the next integer; keep every
    // frame inside the signal.
    const std::int64_t framesThatFit =
        (static_cast<std::int64_t>(signalLength) - windowLength) / plan.hop + 1;
    if (frameCount > framesThatFit) frameCount = framesThatFit;
    plan.frameCount = static_cast<std::int32_t>(frameCount);
    return plan;
}

void fillAngularSteps(double* angularSteps, std::int32_t windowLength, double sampleRate) {
    runParallelRange(windowLength, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t i = begin; i < end; ++i) {
            angularSteps[i] = static_cast<double>(i) / sampleRate * twoPi;
        }
    });
}

void fillFrameTimes(double* times, std::int32_t frameCount, std::int32_t hop,
                    std::int32_t windowLength, double sampleRate) {
    const double half = static_cast<double>(windowLength) * 0.5;
    runParallelRange(frameCount, [&](std::int64_t begin, std::int64_t end) {
        for (std::int64_t j = begin; j < end; ++j) {
            times[j] = (static_cast<double>(j * hop) + half) / sampleRate;
        }
    });
}

}  // namespace spectrogrid
