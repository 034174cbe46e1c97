// What a call of the module through the stand-in host must give: an
// analysis in the documented shapes, equal to the reference model, or an
// error raised before anything was created. Failures are counted by the
// checks of checks.h.
#ifndef SPECTROGRID_TESTS_HOST_EXPECTATIONS_H
#define SPECTROGRID_TESTS_HOST_EXPECTATIONS_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "host_call.h"
#include "reference.h"

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return reference::sameBits(a, b.data(), b.size());
}

// Bit for bit, except that any NaN matches any NaN: IEEE arithmetic fixes
// where a NaN arises, not its sign or payload, and the compiler may swap the
// operands of a product.
inline bool sameValues(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!(sameBits(a[i], b[i]) || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    }
    return true;
}

inline bool anyUnwritten(const std::vector<double>& values) {
    for (double v : values) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        if (bits == standin::unwrittenBits) return true;
    }
    return false;
}

using Dimensions = std::vector<std::size_t>;

// The analysis inputs as doubles, each vector in storage order. The signal
// holds `channels` channels one after the other, and a complex signal its
// imaginary parts in signalImag, laid out alike; a signal of no channels
// (N-by-0) has `rows` samples per channel.
struct Case {
    std::vector<double> signal, window, frequencies;
    double overlap = 0;
    double sampleRate = 1;
    std::size_t channels = 1;
    bool complex = false;
    std::vector<double> signalImag;
    std::size_t rows = 0;
    std::vector<std::vector<double>> windows;  // one per frequency, given as a cell; else none
};

inline std::size_t samplesPerChannel(const Case& c) {
    return c.channels > 0 ? c.signal.size() / c.channels : c.rows;
}

// The frames follow the longest window when each frequency has its own.
inline std::size_t longestWindowOf(const Case& c) {
    std::size_t longest = c.window.size();
    for (const std::vector<double>& w : c.windows) longest = std::max(longest, w.size());
    return longest;
}

// The reference model's results for every channel of the case: the
// coefficients K x M x P in storage order, a complex signal's as A + iB (A
// and B those of its real and imaginary parts, combined last).
inline reference::Result referenceOf(const Case& c) {
    const std::size_t N = samplesPerChannel(c);
    const auto model = [&](const std::vector<double>& x) {
        return c.windows.empty() ? reference::analyse(x, c.window, c.overlap, c.frequencies, c.sampleRate)
                                 : reference::analyseWindows(x, c.windows, c.overlap, c.frequencies, c.sampleRate);
    };
    if (c.channels == 0) {  // the frames and times of N samples, no coefficients
        reference::Result none = model(std::vector<double>(N, 0.0));
        none.real.clear();
        none.imag.clear();
        return none;
    }
    reference::Result all;
    for (std::size_t p = 0; p < c.channels; ++p) {
        const auto part = [&](const std::vector<double>& values) {
            return std::vector<double>(values.begin() + p * N, values.begin() + (p + 1) * N);
        };
        reference::Result a = model(part(c.signal));
        if (c.complex) {
            const reference::Result b = model(part(c.signalImag));
            for (std::size_t e = 0; e < a.real.size(); ++e) {
                const double re = a.real[e] - b.imag[e];
                a.imag[e] = a.imag[e] + b.real[e];
                a.real[e] = re;
            }
        }
        if (p == 0) {
            all = a;
        } else {
            all.real.insert(all.real.end(), a.real.begin(), a.real.end());
            all.imag.insert(all.imag.end(), a.imag.begin(), a.imag.end());
        }
    }
    return all;
}

// How much of the outputs to compare: their shapes and the frequency copy
// only, or also every value against the reference model.
enum class Compare { shapes, values };

// No error, nothing left behind, every requested output in the documented
// shape (K-by-M, or K-by-M-by-P for P > 1 channels) with every element
// written, and (with Compare::values) equal to the reference model bit for
// bit.
inline void expectAnalysis(const CallResult& r, const Case& c, int nlhs,
                           Compare compare = Compare::values) {
    CHECK(!r.raised);
    if (r.raised) std::fprintf(stderr, "  raised %s: %s\n", r.identifier.c_str(), r.message.c_str());
    CHECK(r.misreads == 0);
    CHECK(r.outputsOwnedByCall);
    CHECK(r.slotsBeyondUntouched);
    CHECK(r.arraysReclaimed);
    if (r.raised || r.outputs.empty()) return;

    const std::size_t K = c.frequencies.size();
    reference::Result ref;
    if (compare == Compare::values) {
        ref = referenceOf(c);
    } else {
        ref.plan = reference::plan(static_cast<std::int64_t>(samplesPerChannel(c)),
                                   static_cast<std::int64_t>(longestWindowOf(c)), c.overlap);
    }
    const std::size_t frames = static_cast<std::size_t>(ref.plan.frameCount);

    const Output& coefficients = r.outputs[0];
    CHECK(coefficients.assigned);
    CHECK(coefficients.complex);
    const Dimensions shape = c.channels == 1 ? Dimensions{K, frames} : Dimensions{K, frames, c.channels};
    CHECK(coefficients.dimensions == shape);
    CHECK(!anyUnwritten(coefficients.real) && !anyUnwritten(coefficients.imag));
    if (compare == Compare::values) {
        CHECK(sameValues(ref.real, coefficients.real));
        if (K * frames > 0) CHECK(sameValues(ref.imag, coefficients.imag));
    }

    for (std::size_t slot = 1; slot < r.outputs.size(); ++slot) {
        CHECK(r.outputs[slot].assigned == (static_cast<int>(slot) < nlhs));
    }
    if (nlhs >= 2) {
        const Output& frequencies = r.outputs[1];
        CHECK(!frequencies.complex);
        CHECK((frequencies.dimensions == Dimensions{K, 1}));
        CHECK(sameBits(c.frequencies, frequencies.real));
    }
    if (nlhs >= 3) {
        const Output& times = r.outputs[2];
        CHECK(!times.complex);
        CHECK((times.dimensions == Dimensions{frames, 1}));
        CHECK(!anyUnwritten(times.real));
        if (compare == Compare::values) CHECK(sameValues(ref.times, times.real));
    }
}

// The error call ended the call before anything was created or handed back.
inline void expectRejected(const CallResult& r, const std::string& identifier,
                           const char* argumentName) {
    CHECK(r.raised);
    CHECK(r.identifier == identifier);
    if (r.identifier != identifier) {
        std::fprintf(stderr, "  got %s: %s\n", r.identifier.c_str(), r.message.c_str());
    }
    if (argumentName != nullptr) CHECK(r.message.find(argumentName) != std::string::npos);
    CHECK(r.created.empty());
    CHECK(r.misreads == 0);
    CHECK(r.arraysReclaimed);
    CHECK(r.slotsBeyondUntouched);
    for (const Output& out : r.outputs) CHECK(!out.assigned);
}

#endif
