// Signals beyond one real double channel: every sample type, several
// channels, complex samples (separate or interleaved), against the plain
// reference on the same values converted to double, bit for bit, with every
// kernel set, orientation and (in the parallel form) thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "driver/accumulation_plan.h"
#include "driver/compute.h"
#include "core_test_support.h"
#include "random_inputs.h"
#include "reference.h"

using spectrogrid::SampleType;

namespace {

// A signal as the caller stores it: raw bytes of the type, channel after
// channel (with `padding` samples between channels), real and imaginary
// parts apart or interleaved.
struct StoredSignal {
    SampleType type = SampleType::float64;
    int samples = 0, channels = 1, padding = 0;
    bool complex = false, interleaved = false;
    std::vector<unsigned char> real, imag;  // imag unused when interleaved
    std::vector<std::vector<double>> values;  // per real channel: parts of channel 0..P-1, then imaginary parts
};

std::size_t bytesOf(SampleType type) {
    switch (type) {
        case SampleType::float64: return 8;
        case SampleType::float32: case SampleType::int32: case SampleType::uint32: return 4;
        case SampleType::int16: case SampleType::uint16: return 2;
        default: return 1;
    }
}

// A random value of the type, as a double (exact), with the type's extremes
// and for floating types non-finite values and subnormals now and then.
double randomValueOf(SampleType type, std::mt19937_64& rng) {
    const int pick = static_cast<int>(rng() % 16);
    std::normal_distribution<double> normal(0.0, 1.0);
    switch (type) {
        case SampleType::float64: return pick == 0 ? -0.0 : normal(rng);
        case SampleType::float32: {
            const float special[] = {0.0f, -0.0f, 1e-40f, std::numeric_limits<float>::max(),
                                     std::numeric_limits<float>::infinity()};
            return pick < 5 ? special[pick] : static_cast<float>(normal(rng));
        }
        case SampleType::int8: return pick == 0 ? -128 : pick == 1 ? 127 : static_cast<int>(rng() % 256) - 128;
        case SampleType::uint8: return pick == 0 ? 255 : static_cast<double>(rng() % 256);
        case SampleType::int16: return pick == 0 ? -32768 : static_cast<int>(rng() % 65536) - 32768;
        case SampleType::uint16: return static_cast<double>(rng() % 65536);
        case SampleType::int32: return pick == 0 ? -2147483648.0 : static_cast<std::int32_t>(rng());
        case SampleType::uint32: return pick == 0 ? 4294967295.0 : static_cast<double>(static_cast<std::uint32_t>(rng()));
    }
    return 0.0;
}

void storeValue(SampleType type, double value, unsigned char* at) {
    switch (type) {
        case SampleType::float64: std::memcpy(at, &value, 8); break;
        case SampleType::float32: { const float v = static_cast<float>(value); std::memcpy(at, &v, 4); break; }
        case SampleType::int8: { const std::int8_t v = static_cast<std::int8_t>(value); std::memcpy(at, &v, 1); break; }
        case SampleType::uint8: { const std::uint8_t v = static_cast<std::uint8_t>(value); std::memcpy(at, &v, 1); break; }
        case SampleType::int16: { const std::int16_t v = static_cast<std::int16_t>(value); std::memcpy(at, &v, 2); break; }
        case SampleType::uint16: { const std::uint16_t v = static_cast<std::uint16_t>(value); std::memcpy(at, &v, 2); break; }
        case SampleType::int32: { const std::int32_t v = static_cast<std::int32_t>(value); std::memcpy(at, &v, 4); break; }
        case SampleType::uint32: { const std::uint32_t v = static_cast<std::uint32_t>(value); std::memcpy(at, &v, 4); break; }
    }
}

StoredSignal storedSignal(SampleType type, int samples, int channels, bool complex, bool interleaved,
                          int padding, std::mt19937_64& rng) {
    StoredSignal s;
    s.type = type;
    s.samples = samples;
    s.channels = channels;
    s.padding = padding;
    s.complex = complex;
    s.interleaved = complex && interleaved;
    const std::size_t bytes = bytesOf(type);
    const std::size_t step = s.interleaved ? 2 : 1;
    const std::size_t stride = (static_cast<std::size_t>(samples) + padding) * step;
    s.real.assign(stride * channels * bytes + 16, 0xa5);
    if (complex && !s.interleaved) s.imag.assign(s.real.size(), 0xa5);
    const int parts = complex ? 2 : 1;
    s.values.assign(static_cast<std::size_t>(channels * parts), std::vector<double>(samples));
    for (int part = 0; part < parts; ++part) {
        for (int c = 0; c < channels; ++c) {
            for (int n = 0; n < samples; ++n) {
                const double v = randomValueOf(type, rng);
                s.values[static_cast<std::size_t>(part * channels + c)][static_cast<std::size_t>(n)] = v;
                std::size_t element = c * stride + n * step;
                unsigned char* base = s.real.data();
                if (part == 1) {
                    if (s.interleaved) element += 1;
                    else base = s.imag.data();
                }
                storeValue(type, v, base + element * bytes);
            }
        }
    }
    return s;
}

// The expected coefficients (K x M x P, column-major, separate planes): each
// channel's parts through the reference, combined as A + iB.
void expectedCoefficients(const StoredSignal& s, const RandomCase& c, std::vector<double>* real,
                          std::vector<double>* imag, reference::Result* first) {
    real->clear();
    imag->clear();
    for (int ch = 0; ch < s.channels; ++ch) {
        const reference::Result a =
            reference::analyse(s.values[static_cast<std::size_t>(ch)], c.window, c.overlap, c.frequencies, c.sampleRate);
        if (ch == 0) *first = a;
        if (!s.complex) {
            real->insert(real->end(), a.real.begin(), a.real.end());
            imag->insert(imag->end(), a.imag.begin(), a.imag.end());
            continue;
        }
        const reference::Result b = reference::analyse(s.values[static_cast<std::size_t>(s.channels + ch)],
                                                       c.window, c.overlap, c.frequencies, c.sampleRate);
        for (std::size_t e = 0; e < a.real.size(); ++e) {
            real->push_back(a.real[e] - b.imag[e]);
            imag->push_back(a.imag[e] + b.real[e]);
        }
    }
}

spectrogrid::AnalysisInputs inputsOf(const StoredSignal& s, const RandomCase& c) {
    spectrogrid::AnalysisInputs in = {s.real.data(), s.samples, c.window.data(),
                                      static_cast<std::int32_t>(c.window.size()), c.overlap,
                                      c.frequencies.data(), static_cast<std::int32_t>(c.frequencies.size()),
                                      c.sampleRate};
    in.signalType = s.type;
    in.channelCount = s.channels;
    in.sampleStep = s.interleaved ? 2 : 1;
    in.channelStride = (s.samples + s.padding) * in.sampleStep;
    if (s.complex) {
        in.signalImag = s.interleaved ? static_cast<const void*>(s.real.data() + bytesOf(s.type)) : s.imag.data();
    }
    return in;
}

// Bit for bit, but any NaN matches any NaN (IEEE arithmetic fixes where a
// NaN arises, not its payload).
bool sameValues(const std::vector<double>& expected, const std::vector<double>& actual) {
    if (expected.size() != actual.size()) return false;
    for (std::size_t e = 0; e < expected.size(); ++e) {
        const bool bothNaN = std::isnan(expected[e]) && std::isnan(actual[e]);
        if (!bothNaN && std::memcmp(&expected[e], &actual[e], sizeof(double)) != 0) return false;
    }
    return true;
}

struct Outcome {
    std::vector<double> real, imag, times;
};

// One call of the core with the given kernel set (null: computeCoefficients
// with no workspace, the per-frequency form) and orientation split.
Outcome run(const spectrogrid::KernelSet* kernels, const spectrogrid::AnalysisInputs& in, int split) {
    const spectrogrid::FramePlan plan = spectrogrid::planFrames(in.signalLength, in.windowLength, in.overlap);
    const std::size_t cells = static_cast<std::size_t>(in.frequencyCount) * plan.frameCount * in.channelCount;
    Outcome out;
    out.real.assign(cells, -1.0);
    out.imag.assign(cells, -1.0);
    out.times.assign(static_cast<std::size_t>(plan.frameCount), -1.0);
    std::vector<double> steps(in.windowLength), cosTable(in.windowLength), sinTable(in.windowLength);
    std::vector<double> imaginaryPart(static_cast<std::size_t>(spectrogrid::imaginaryPartLength(
        in.frequencyCount, plan.frameCount, in.channelCount, in.signalImag != nullptr)));
    spectrogrid::ScratchTables tables = {steps.data(), cosTable.data(), sinTable.data(), nullptr,
                                         imaginaryPart.data()};
    const spectrogrid::CoefficientPlanes planes = {out.real.data(), out.imag.data()};
    if (kernels == nullptr) {
        spectrogrid::computeCoefficients(in, plan, tables, planes, out.times.data());
        return out;
    }
    spectrogrid::AccumulationPlan p = spectrogrid::planAccumulation(
        *kernels, in.windowLength, in.frequencyCount, plan.frameCount > 0 ? plan.frameCount : 1, plan.hop,
        spectrogrid::realChannels(in), 2);
    if (split >= 0 && kernels->frameFrequencies > 0) p.frameLaneBegin = split < in.frequencyCount ? split : in.frequencyCount;
    p.threadWorkspace = kernels->threadWorkspace(p);
    std::vector<double> workspace(static_cast<std::size_t>(mostThreads * p.threadWorkspace) + 1);
    tables.workspace = workspace.data();
    spectrogrid::computeCoefficientsWith(*kernels, p, in, plan, tables, planes, out.times.data());
    return out;
}

class Signals : public testing::TestWithParam<const spectrogrid::KernelSet*> {
protected:
    void SetUp() override {
        if (!spectrogrid::instructionSetSupported(GetParam()->set)) {
            GTEST_SKIP() << GetParam()->name << " is not supported here";
        }
    }

    // The call against the reference: every orientation split, every thread
    // count, and the per-frequency form.
    void expectReference(const StoredSignal& s, const RandomCase& c, const std::string& what) {
        std::vector<double> real, imag;
        reference::Result first;
        expectedCoefficients(s, c, &real, &imag, &first);
        const spectrogrid::AnalysisInputs in = inputsOf(s, c);
        const int K = static_cast<int>(c.frequencies.size());
        for (int split : {-1, 0, K / 2, K}) {
            for (int threads = 1; threads <= mostThreads; ++threads) {
                useThreads(threads);
                const Outcome out = run(GetParam(), in, split);
                SCOPED_TRACE(what + ", split " + std::to_string(split) + ", threads " + std::to_string(threads));
                EXPECT_TRUE(sameValues(real, out.real));
                EXPECT_TRUE(sameValues(imag, out.imag));
                EXPECT_TRUE(sameValues(first.times, out.times));
                if (HasFailure()) return;
            }
        }
        const Outcome each = run(nullptr, in, -1);
        EXPECT_TRUE(sameValues(real, each.real) && sameValues(imag, each.imag)) << what << ", per frequency";
        useThreads(mostThreads);
    }
};

std::string nameOf(const testing::TestParamInfo<const spectrogrid::KernelSet*>& info) {
    return info.param->name;
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSet, Signals,
                         testing::Values(&spectrogrid::scalar::kernels, &spectrogrid::avx2::kernels,
                                         &spectrogrid::avx512::kernels),
                         nameOf);

const SampleType everyType[] = {SampleType::float64, SampleType::float32, SampleType::int8,
                                SampleType::uint8,   SampleType::int16,   SampleType::uint16,
                                SampleType::int32,   SampleType::uint32};

const char* typeName(SampleType type) {
    const char* names[] = {"double", "single", "int8", "uint8", "int16", "uint16", "int32", "uint32"};
    return names[static_cast<int>(type)];
}

}  // namespace

TEST_P(Signals, EveryTypeAsItsValuesInDouble) {
    std::mt19937_64 rng(61);
    for (SampleType type : everyType) {
        const RandomCase c = randomCase(rng, 0, 29, 11);
        const StoredSignal s = storedSignal(type, 600, 2, false, false, 3, rng);
        expectReference(s, c, typeName(type));
        if (HasFailure()) return;
    }
}

TEST_P(Signals, ComplexSignalsSeparateAndInterleaved) {
    std::mt19937_64 rng(62);
    for (SampleType type : {SampleType::float64, SampleType::float32, SampleType::int16}) {
        for (bool interleaved : {false, true}) {
            const RandomCase c = randomCase(rng, 0, 40, 13);
            const StoredSignal s = storedSignal(type, 500, 3, true, interleaved, interleaved ? 0 : 5, rng);
            expectReference(s, c, std::string(typeName(type)) + (interleaved ? " interleaved" : " complex"));
            if (HasFailure()) return;
        }
    }
}

TEST_P(Signals, ChannelsAreTheirOwnCallsAndLongWindowsSpanTiles) {
    // Windows longer than a tile keep each channel's partial sums apart.
    std::mt19937_64 rng(63);
    for (int L : {3, 300, 1100}) {
        RandomCase c = randomCase(rng, 0, L, 9);
        c.overlap = L / 3;
        const StoredSignal s = storedSignal(SampleType::float64, 4 * L + 7, 4, L != 300, false, 0, rng);
        expectReference(s, c, "L=" + std::to_string(L));
        if (HasFailure()) return;
    }
}

TEST(Signals, ConjugateAtTheOppositeFrequencyIsTheConjugate) {
    // x and conj(x) at f and -f: the same values, the imaginary part negated
    // (signed zeros aside).
    std::mt19937_64 rng(64);
    RandomCase c = randomCase(rng, 0, 33, 7);
    c.overlap = 10;
    StoredSignal s = storedSignal(SampleType::float64, 400, 1, true, false, 0, rng);
    const Outcome x = run(nullptr, inputsOf(s, c), -1);
    for (std::size_t n = 0; n < 400; ++n) {
        double v;
        std::memcpy(&v, s.imag.data() + n * 8, 8);
        v = -v;
        std::memcpy(s.imag.data() + n * 8, &v, 8);
    }
    for (double& f : c.frequencies) f = -f;
    const Outcome conjugate = run(nullptr, inputsOf(s, c), -1);
    for (std::size_t e = 0; e < x.real.size(); ++e) {
        EXPECT_EQ(conjugate.real[e], x.real[e]) << e;
        EXPECT_EQ(conjugate.imag[e], -x.imag[e]) << e;
    }
}

TEST(Signals, EachSampleTypeIsItsCppType) {
    // withSampleType hands every code written once per type the C++ type of
    // the samples: its size, kind and range must be those of the type.
    struct Row {
        SampleType type;
        std::size_t bytes;
        bool floating;
        double lowest, highest;
    };
    const Row rows[] = {
        {SampleType::float64, 8, true, std::numeric_limits<double>::lowest(), std::numeric_limits<double>::max()},
        {SampleType::float32, 4, true, std::numeric_limits<float>::lowest(), std::numeric_limits<float>::max()},
        {SampleType::int8, 1, false, -128.0, 127.0},
        {SampleType::uint8, 1, false, 0.0, 255.0},
        {SampleType::int16, 2, false, -32768.0, 32767.0},
        {SampleType::uint16, 2, false, 0.0, 65535.0},
        {SampleType::int32, 4, false, -2147483648.0, 2147483647.0},
        {SampleType::uint32, 4, false, 0.0, 4294967295.0},
    };
    for (const Row& row : rows) {
        int calls = 0;
        spectrogrid::withSampleType(row.type, [&](auto sample) {
            using T = decltype(sample);
            ++calls;
            EXPECT_EQ(sizeof(T), row.bytes);
            EXPECT_EQ(sizeof(T), static_cast<std::size_t>(spectrogrid::bytesPerSample(row.type)));
            EXPECT_EQ(std::numeric_limits<T>::is_iec559, row.floating);
            EXPECT_EQ(static_cast<double>(std::numeric_limits<T>::lowest()), row.lowest);
            EXPECT_EQ(static_cast<double>(std::numeric_limits<T>::max()), row.highest);
        });
        EXPECT_EQ(calls, 1) << static_cast<int>(row.type);
    }
}
