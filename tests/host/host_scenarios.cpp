// The scenarios the stand-in host puts a spectrogrid module through: argument
// and output counts, results against the plain reference model, vector
// orientation, empty inputs, every rejected input, the thread setting and
// unloading. Platform-independent; the module path comes from the command
// line:
//
//   spectrogrid_host MODULE [SCENARIO ...]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <omp.h>

#include "expectations.h"
#include "host_call.h"
#include "random_inputs.h"
#include "reference.h"

namespace {

struct Session {
    std::string modulePath;
    LoadedModule module;
};

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

Case caseFrom(const RandomCase& rc) {
    Case c;
    c.signal = rc.signal;
    c.window = rc.window;
    c.frequencies = rc.frequencies;
    c.overlap = rc.overlap;
    c.sampleRate = rc.sampleRate;
    return c;
}

// The case's inputs: the signal N-by-P (a column for one channel), complex
// when the case is, the window and frequencies columns, the others scalars.
// The inputs whose bit (1 << slot) is set in typedSlots are of typedClass,
// the others double.
std::vector<mxArray*> columnsOf(ArrayPool& pool, const Case& c,
                                standin::ArrayClass typedClass = standin::ArrayClass::Double,
                                unsigned typedSlots = 0) {
    const auto classOf = [&](int slot) {
        return (typedSlots >> slot) & 1u ? typedClass : standin::ArrayClass::Double;
    };
    const auto vector = [&](int slot, const std::vector<double>& values) {
        return pool.numeric(classOf(slot), {values.size(), 1}, values);
    };
    const std::size_t N = samplesPerChannel(c);
    mxArray* window = vector(1, c.window);
    if (!c.windows.empty()) {  // a cell of one window per frequency, as a row
        std::vector<mxArray*> elements;
        for (const std::vector<double>& w : c.windows) elements.push_back(vector(1, w));
        window = pool.cell({1, elements.size()}, elements);
    }
    return {pool.numeric(classOf(0), {N, c.channels}, c.signal, c.signalImag, c.complex), window,
            vector(2, {c.overlap}), vector(3, c.frequencies), vector(4, {c.sampleRate})};
}

Case workedExample() {
    Case c;
    c.signal = {1, 2, 3, 4};
    c.window = {1, 1};
    c.overlap = 0;
    c.frequencies = {0, 1};
    c.sampleRate = 2;
    return c;
}

int processorThreads() {
    const int processors = omp_get_num_procs();
    return processors < 4 ? processors : 4;
}

// ---- scenarios -------------------------------------------------------------

void inputCount(Session& s) {
    ArrayPool pool;
    const Case c = workedExample();
    const std::vector<mxArray*> all = columnsOf(pool, c);
    for (int nrhs = 0; nrhs < 5; ++nrhs) {
        for (int nlhs = 0; nlhs <= 3; ++nlhs) {
            caseName = std::to_string(nrhs) + " inputs, " + std::to_string(nlhs) + " outputs";
            const std::vector<mxArray*> some(all.begin(), all.begin() + nrhs);
            const CallResult r = callModule(s.module.entry, nlhs, some);
            expectRejected(r, "spectrogrid:notEnoughInputs", nullptr);
            CHECK(r.message == "You didn't specify all required arguments.");
        }
    }
    // Inputs past the fifth are ignored, whatever they are.
    caseName = "six and seven inputs";
    std::vector<mxArray*> more = all;
    more.push_back(pool.ofClass(standin::ArrayClass::Cell, {2, 2}));
    expectAnalysis(callModule(s.module.entry, 3, more), c, 3);
    more.push_back(pool.ofClass(standin::ArrayClass::Char, {1, 5}));
    expectAnalysis(callModule(s.module.entry, 3, more), c, 3);
    // Text from the sixth input on is options: a tolerance of 0, or a last
    // occurrence of 0, is the exact analysis; a cell of one window is that
    // window.
    const std::vector<std::vector<mxArray*>> exactOptions = {
        {pool.text("Tolerance"), pool.scalar(0)},
        {pool.text("tolerance"), pool.scalar(1e-6), pool.text("TOLERANCE"), pool.scalar(0)},
        {pool.text("Tolerance"), pool.numeric(standin::ArrayClass::Uint8, {1, 1}, {0})},
    };
    for (const std::vector<mxArray*>& options : exactOptions) {
        caseName = "options giving the exact analysis";
        std::vector<mxArray*> inputs = all;
        inputs.insert(inputs.end(), options.begin(), options.end());
        expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
    }
    caseName = "a cell of one window";
    std::vector<mxArray*> celled = all;
    celled[1] = pool.cell({1, 1}, {all[1]});
    expectAnalysis(callModule(s.module.entry, 3, celled), c, 3);
}

void outputCount(Session& s) {
    ArrayPool pool;
    const Case c = workedExample();
    const std::vector<mxArray*> inputs = columnsOf(pool, c);
    for (int nlhs = 0; nlhs <= 3; ++nlhs) {
        caseName = std::to_string(nlhs) + " outputs";
        const CallResult r = callModule(s.module.entry, nlhs, inputs);
        expectAnalysis(r, c, nlhs);
        // What a host relies on, whatever arrays the call makes for its own
        // use: the requested outputs come back, each an array of this call,
        // and the host reclaims every other (expectAnalysis checks both).
        CHECK(static_cast<int>(r.outputs.size()) == (nlhs > 1 ? nlhs : 1));
        CHECK(r.created.size() >= static_cast<std::size_t>(nlhs > 1 ? nlhs : 1));
    }
    for (int nlhs : {4, 5, 9}) {
        caseName = std::to_string(nlhs) + " outputs";
        const CallResult r = callModule(s.module.entry, nlhs, inputs);
        expectRejected(r, "spectrogrid:tooManyOutputs", nullptr);
    }
}

void workedExampleScenario(Session& s) {
    ArrayPool pool;
    const Case c = workedExample();
    const CallResult r = callModule(s.module.entry, 3, columnsOf(pool, c));
    expectAnalysis(r, c, 3);
    if (r.raised) return;
    const Output& coefficients = r.outputs[0];
    CHECK((coefficients.real == std::vector<double>{3, -1, 7, -1}));
    CHECK(sameBits(coefficients.imag[0], 0.0));
    CHECK(sameBits(coefficients.imag[2], 0.0));
    // -2 sin(pi) and -4 sin(pi), with pi the double nearest to it.
    CHECK(coefficients.imag[1] == -2.4492935982947064e-16);
    CHECK(coefficients.imag[3] == -4.898587196589413e-16);
    CHECK((r.outputs[1].real == std::vector<double>{0, 1}));
    CHECK((r.outputs[2].real == std::vector<double>{0.5, 1.5}));
}

void referenceBits(Session& s) {
    std::mt19937_64 rng(20240607);
    struct Size { int N, L, K; };
    const Size sizes[] = {{300, 32, 7}, {1000, 64, 3}, {50, 1, 4}, {9, 8, 2}, {5, 8, 3}, {77, 5, 0}};
    for (const Size& size : sizes) {
        for (int variant = 0; variant < 4; ++variant) {
            const RandomCase rc = randomCase(rng, size.N, size.L, size.K);
            const Case c = caseFrom(rc);
            caseName = "N=" + std::to_string(size.N) + " L=" + std::to_string(size.L) +
                       " K=" + std::to_string(size.K) + " overlap=" + std::to_string(c.overlap);
            ArrayPool pool;
            expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, c)), c, 3);
        }
    }
}

// ---- the same bits on every platform ------------------------------------

// Inputs made with IEEE +, -, *, / only, so that every platform builds the
// same bits: a 64-bit mixing generator, a parabolic window and geometric
// frequency ladders.
std::uint64_t nextBits(std::uint64_t* state) {
    std::uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::vector<double> portableNoise(std::uint64_t state, std::size_t n) {
    std::vector<double> values(n);
    for (double& v : values) v = static_cast<double>(nextBits(&state) >> 11) * 0x1p-52 - 1.0;
    return values;
}

std::vector<double> parabolicWindow(std::size_t L) {
    std::vector<double> w(L);
    const double span = L > 1 ? static_cast<double>(L - 1) : 1.0;
    for (std::size_t i = 0; i < L; ++i) {
        const double x = static_cast<double>(i) / span;
        w[i] = 4.0 * x * (1.0 - x) + 0.0625;
    }
    return w;
}

std::vector<double> frequencyLadder(double first, double ratio, std::size_t count) {
    std::vector<double> f(count);
    double value = first;
    for (double& v : f) {
        v = value;
        value = value * ratio;
    }
    return f;
}

std::uint64_t digestOf(std::uint64_t digest, const std::vector<double>& values) {
    for (double v : values) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int byte = 0; byte < 8; ++byte) {
            digest ^= (bits >> (8 * byte)) & 0xff;
            digest *= 0x100000001b3ULL;  // FNV-1a
        }
    }
    return digest;
}

struct DigestCase {
    const char* name;
    Case input;
    double tolerance = 0;  // > 0: called with 'Tolerance', tolerance (the fast mode)
};

std::vector<DigestCase> digestCases() {
    std::vector<DigestCase> cases;
    Case audio;  // an audio-like call: log-spaced frequencies, 75 % overlap
    audio.signal = portableNoise(1, 12000);
    audio.window = parabolicWindow(512);
    audio.overlap = 384;
    audio.frequencies = frequencyLadder(20.0, 1.0471285480508996, 150);
    audio.sampleRate = 48000;
    cases.push_back({"audio", audio});

    Case longWindow;  // angles up to 3e5 rad: a long window near the Nyquist frequency
    longWindow.signal = portableNoise(2, 100003);
    longWindow.window = parabolicWindow(100000);
    longWindow.overlap = 0;
    longWindow.frequencies = {23999.9, 24000.0, -23987.5, 11025.25};
    longWindow.sampleRate = 48000;
    cases.push_back({"longWindow", longWindow});

    Case huge;  // angles far beyond 2^20: exact argument reduction
    huge.signal = portableNoise(3, 700);
    huge.window = portableNoise(4, 61);
    huge.overlap = 20.75;
    huge.frequencies = {1e9, -3.7e15, 6.02214076e23, 1e300, -0.0, 1e-300, 0.5};
    huge.sampleRate = 1.0;
    cases.push_back({"hugeAngles", huge});

    Case odd;  // sizes that straddle vector widths and register blocks
    odd.signal = portableNoise(5, 1531);
    odd.window = portableNoise(6, 37);
    odd.overlap = -3.5;
    odd.frequencies = frequencyLadder(0.013, 1.37, 19);
    odd.sampleRate = 7.25;
    cases.push_back({"oddSizes", odd});

    // The fast mode, on calls where it runs rather than the exact path.
    Case fastAudio;
    fastAudio.signal = portableNoise(7, 30000);
    fastAudio.window = parabolicWindow(2048);
    fastAudio.overlap = 1536;
    fastAudio.frequencies = frequencyLadder(20.0, 1.0233, 300);
    fastAudio.sampleRate = 48000;
    cases.push_back({"fastAudio", fastAudio, 1e-12});

    Case fastStereo;  // complex, two channels, frequencies far above the rate
    fastStereo.channels = 2;
    fastStereo.complex = true;
    fastStereo.signal = portableNoise(8, 2 * 9000);
    fastStereo.signalImag = portableNoise(9, 2 * 9000);
    fastStereo.window = portableNoise(10, 1023);
    fastStereo.overlap = 511.5;
    fastStereo.frequencies = frequencyLadder(0.013, 1.37, 60);
    fastStereo.frequencies.push_back(6.02214076e23);
    fastStereo.frequencies.push_back(-1e9 - 0.25);
    fastStereo.sampleRate = 7.25;
    cases.push_back({"fastComplexStereo", fastStereo, 1e-7});

    Case fastDirect;  // three frequencies near Nyquist at 1e-12: the direct path
    fastDirect.signal = portableNoise(11, 20000);
    fastDirect.window = parabolicWindow(1024);
    fastDirect.overlap = 768;
    fastDirect.frequencies = {23000.5, -22999.0, 440.0};
    fastDirect.sampleRate = 48000;
    cases.push_back({"fastDirect", fastDirect, 1e-12});
    return cases;
}

#include "expected_digests.h"

// Every platform's module must give exactly the bits the Linux module gave
// when the expected digests were recorded (FNV-1a over coefficients,
// frequencies and times). A deliberate change of results prints the new
// digests to record.
void platformBits(Session& s) {
    const std::vector<DigestCase> cases = digestCases();
    for (const DigestCase& d : cases) {
        caseName = d.name;
        ArrayPool pool;
        std::vector<mxArray*> inputs = columnsOf(pool, d.input);
        const auto digestOfCall = [&](const std::vector<mxArray*>& arguments, std::uint64_t* digest) {
            const CallResult r = callModule(s.module.entry, 3, arguments);
            CHECK(!r.raised);
            if (r.raised || r.outputs.size() != 3) return false;
            *digest = 0xcbf29ce484222325ULL;
            *digest = digestOf(*digest, r.outputs[0].real);
            *digest = digestOf(*digest, r.outputs[0].imag);
            *digest = digestOf(*digest, r.outputs[1].real);
            *digest = digestOf(*digest, r.outputs[2].real);
            return true;
        };
        std::uint64_t digest = 0;
        if (d.tolerance > 0) {
            // The fast mode ran: its bits are not the exact mode's.
            std::uint64_t exact = 0;
            if (!digestOfCall(inputs, &exact)) continue;
            inputs.push_back(pool.text("Tolerance"));
            inputs.push_back(pool.scalar(d.tolerance));
            if (!digestOfCall(inputs, &digest)) continue;
            CHECK(digest != exact);
        } else if (!digestOfCall(inputs, &digest)) {
            continue;
        }
        std::uint64_t expected = 0;
        for (const ExpectedDigest& e : expectedDigests) {
            if (std::strcmp(e.name, d.name) == 0) expected = e.digest;
        }
        if (!CHECK(digest == expected)) {
            std::fprintf(stderr, "  %s: got {\"%s\", 0x%016llxULL}\n", d.name, d.name,
                         static_cast<unsigned long long>(digest));
        }
    }
}

// A 32-bit Windows caller may enter the module with a stack aligned to 4
// bytes only; the module must realign what it needs itself and give the same
// bits. (Elsewhere the offset changes nothing and this repeats plain calls.)
void stackAlignment(Session& s) {
    std::mt19937_64 rng(4096);
    for (unsigned offset : {4u, 8u, 12u, 0u}) {
        setCallStackOffset(offset);
        const RandomCase rc = randomCase(rng, 600, 37, 11);
        const Case c = caseFrom(rc);
        caseName = "stack " + std::to_string(offset) + " bytes off 16";
        ArrayPool pool;
        const std::vector<mxArray*> inputs = columnsOf(pool, c);
        expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
        std::vector<mxArray*> bad = inputs;
        bad[1] = pool.doubles({2, 2}, {1, 1, 1, 1});
        expectRejected(callModule(s.module.entry, 1, bad), "spectrogrid:windowNotVector", "window");
    }
    setCallStackOffset(0);
}

void orientation(Session& s) {
    Case c;
    c.signal = {0.5, -1.25, 2, 3.5, -0.75, 1, 4, -2, 0.125, 6};
    c.window = {0.25, 1, -0.5};
    c.overlap = 1;
    c.frequencies = {-0.0, 0.1, -3.7, 0.1, 12.5};
    c.sampleRate = 7;
    const std::size_t N = c.signal.size(), L = c.window.size(), K = c.frequencies.size();
    // Every combination of column, row and 1-by-1-by-n for the three vectors.
    const Dimensions signalShapes[] = {{N, 1}, {1, N}, {1, 1, N}};
    const Dimensions windowShapes[] = {{L, 1}, {1, L}, {1, 1, L}};
    const Dimensions frequencyShapes[] = {{K, 1}, {1, K}, {1, 1, 1, K}};
    for (const Dimensions& signalShape : signalShapes) {
        for (const Dimensions& windowShape : windowShapes) {
            for (const Dimensions& frequencyShape : frequencyShapes) {
                caseName = "signal " + std::to_string(signalShape.size()) + "-d rows " +
                           std::to_string(signalShape[0]) + ", window rows " +
                           std::to_string(windowShape[0]) + ", frequencies rows " +
                           std::to_string(frequencyShape[0]);
                ArrayPool pool;
                const std::vector<mxArray*> inputs = {
                    pool.doubles(signalShape, c.signal), pool.doubles(windowShape, c.window),
                    pool.scalar(c.overlap), pool.doubles(frequencyShape, c.frequencies),
                    pool.scalar(c.sampleRate)};
                const CallResult r = callModule(s.module.entry, 3, inputs);
                expectAnalysis(r, c, 3);
                // The copy keeps the sign of zero.
                if (!r.raised) CHECK(std::signbit(r.outputs[1].real[0]));
            }
        }
    }
    // Scalars may be given as 1-by-1-by-1.
    caseName = "1x1x1 scalars";
    ArrayPool pool;
    const std::vector<mxArray*> inputs = {pool.column(c.signal), pool.column(c.window),
                                          pool.doubles({1, 1, 1}, {c.overlap}),
                                          pool.column(c.frequencies),
                                          pool.doubles({1, 1, 1}, {c.sampleRate})};
    expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
}

void emptyInputs(Session& s) {
    Case c;
    c.window = {1, 2, 3};
    c.overlap = 1;
    c.frequencies = {0.5, 0.25};
    c.sampleRate = 4;
    // Empty vectors and [] are one channel of no samples (0-by-P and N-by-0
    // matrices are channels: see signalChannels).
    const Dimensions emptyShapes[] = {{0, 0}, {0, 1}, {1, 0}, {1, 1, 0}};
    for (const Dimensions& shape : emptyShapes) {
        caseName = "empty signal " + std::to_string(shape[0]) + "x" + std::to_string(shape[1]);
        ArrayPool pool;
        const std::vector<mxArray*> inputs = {pool.doubles(shape, {}), pool.column(c.window),
                                              pool.scalar(c.overlap), pool.column(c.frequencies),
                                              pool.scalar(c.sampleRate)};
        expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
    }
    // Shorter than one frame: K-by-0 coefficients and a 0-by-1 time axis.
    for (std::size_t n : {1, 2}) {
        caseName = "signal shorter than the window";
        Case shortCase = c;
        shortCase.signal.assign(n, 1.0);
        ArrayPool pool;
        expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, shortCase)), shortCase, 3);
    }
    // No frequencies: 0-by-frameCount coefficients and a 0-by-1 frequency output.
    for (const Dimensions& shape : {Dimensions{0, 0}, Dimensions{0, 1}, Dimensions{1, 0},
                                    Dimensions{0, 5}, Dimensions{1, 1, 0}}) {
        caseName = "empty frequencies " + std::to_string(shape[0]) + "x" + std::to_string(shape[1]);
        Case noFrequencies = c;
        noFrequencies.signal = {1, 2, 3, 4, 5, 6, 7};
        noFrequencies.frequencies.clear();
        ArrayPool pool;
        const std::vector<mxArray*> inputs = {
            pool.column(noFrequencies.signal), pool.column(c.window), pool.scalar(c.overlap),
            pool.doubles(shape, {}), pool.scalar(c.sampleRate)};
        const CallResult r = callModule(s.module.entry, 3, inputs);
        expectAnalysis(r, noFrequencies, 3);
        if (!r.raised) CHECK((r.outputs[0].dimensions == Dimensions{0, 3}));
    }
    caseName = "everything empty but the window";
    Case bare = c;
    bare.frequencies.clear();
    ArrayPool pool;
    const std::vector<mxArray*> inputs = {pool.doubles({0, 0}, {}), pool.column(c.window),
                                          pool.scalar(c.overlap), pool.doubles({0, 0}, {}),
                                          pool.scalar(c.sampleRate)};
    expectAnalysis(callModule(s.module.entry, 3, inputs), bare, 3);
}

void nonFiniteValues(Session& s) {
    // NaN and Inf in the data are not errors; they propagate as the
    // arithmetic does, which the reference model reproduces.
    Case c;
    c.signal = {1, nan, 3, 4, inf, 6, 7, 8, -inf, 10};
    c.window = {0.5, 1, 0.5};
    c.overlap = 0.5;
    c.frequencies = {0, 0.3, nan, inf, -inf, 1e300};
    c.sampleRate = 3;
    caseName = "non-finite samples and frequencies";
    ArrayPool pool;
    expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, c)), c, 3);
    caseName = "non-finite weights";
    c.signal = {1, 2, 3, 4, 5, 6};
    c.window = {nan, 1, inf};
    ArrayPool pool2;
    expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool2, c)), c, 3);
}

// ---- classes, complex signals, channels ---------------------------------

struct NamedClass {
    const char* name;
    standin::ArrayClass arrayClass;
};

const NamedClass acceptedClasses[] = {
    {"double", standin::ArrayClass::Double}, {"single", standin::ArrayClass::Single},
    {"int8", standin::ArrayClass::Int8},     {"uint8", standin::ArrayClass::Uint8},
    {"int16", standin::ArrayClass::Int16},   {"uint16", standin::ArrayClass::Uint16},
    {"int32", standin::ArrayClass::Int32},   {"uint32", standin::ArrayClass::Uint32},
};

// n values that every array of the class holds exactly: the extremes of an
// integer class and values between; for single, its largest value and a
// subnormal among rounded normal values.
std::vector<double> valuesOfClass(standin::ArrayClass arrayClass, std::size_t n, std::mt19937_64& rng) {
    using standin::ArrayClass;
    double low = 0, high = 0;
    switch (arrayClass) {
        case ArrayClass::Int8: low = -128; high = 127; break;
        case ArrayClass::Uint8: high = 255; break;
        case ArrayClass::Int16: low = -32768; high = 32767; break;
        case ArrayClass::Uint16: high = 65535; break;
        case ArrayClass::Int32: low = -2147483648.0; high = 2147483647.0; break;
        case ArrayClass::Uint32: high = 4294967295.0; break;
        default: break;
    }
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (arrayClass == ArrayClass::Double) {
            values[i] = normal(rng);
        } else if (arrayClass == ArrayClass::Single) {
            const float special[] = {std::numeric_limits<float>::max(), 1e-40f};
            values[i] = i % 11 < 2 ? special[i % 11] : static_cast<float>(normal(rng));
        } else {
            const std::uint64_t span = static_cast<std::uint64_t>(high - low) + 1;
            values[i] = i % 9 == 0 ? low : i % 9 == 1 ? high : low + static_cast<double>(rng() % span);
        }
    }
    return values;
}

// Every accepted class, in each input and in all five at once, gives the
// bits of its values converted to double; the signal also complex. Each
// input holds values that only a conversion from the right class gives:
// the class's extremes, a negative overlap for signed classes and one above
// 127 for unsigned ones, an integer class's largest value as the sample
// rate.
void inputClasses(Session& s) {
    std::mt19937_64 rng(77);
    for (const NamedClass& k : acceptedClasses) {
        Case c;
        c.window = valuesOfClass(k.arrayClass, 256, rng);
        c.frequencies = valuesOfClass(k.arrayClass, 6, rng);
        const bool isUnsigned = k.name[0] == 'u';
        c.overlap = isUnsigned ? 200 : -3;
        const bool floating = k.arrayClass == standin::ArrayClass::Double || k.arrayClass == standin::ArrayClass::Single;
        c.sampleRate = floating ? 44100.5 : valuesOfClass(k.arrayClass, 2, rng)[1];
        for (unsigned typedSlots : {1u, 2u, 4u, 8u, 16u, 31u}) {
            for (bool complex : {false, true}) {
                if (complex && !(typedSlots & 1u)) continue;
                Case typed = c;
                const standin::ArrayClass signalClass = typedSlots & 1u ? k.arrayClass : standin::ArrayClass::Double;
                typed.signal = valuesOfClass(signalClass, 600, rng);
                typed.complex = complex;
                if (complex) typed.signalImag = valuesOfClass(signalClass, 600, rng);
                caseName = std::string(k.name) + " inputs " + std::to_string(typedSlots) +
                           (complex ? ", complex signal" : "");
                ArrayPool pool;
                expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, typed, k.arrayClass, typedSlots)),
                               typed, 3);
            }
        }
    }
}

// Complex signals in every orientation give A + iB; a zero imaginary part
// gives the values of the real signal; conj(x) at -f gives the conjugate of
// x at f.
void complexSignals(Session& s) {
    std::mt19937_64 rng(78);
    Case c = caseFrom(randomCase(rng, 500, 33, 9));
    c.complex = true;
    c.signalImag = randomValues(rng, 500, 1.0);
    const std::size_t N = c.signal.size();
    for (const Dimensions& shape : {Dimensions{N, 1}, Dimensions{1, N}, Dimensions{1, 1, N}}) {
        caseName = "complex signal of " + std::to_string(shape.size()) + " dimensions, rows " +
                   std::to_string(shape[0]);
        ArrayPool pool;
        std::vector<mxArray*> inputs = columnsOf(pool, c);
        inputs[0] = pool.numeric(standin::ArrayClass::Double, shape, c.signal, c.signalImag);
        expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
    }

    caseName = "zero imaginary part";
    ArrayPool pool;
    Case zero = c;
    zero.signalImag.assign(N, 0.0);
    Case real = c;
    real.complex = false;
    real.signalImag.clear();
    const CallResult withZero = callModule(s.module.entry, 1, columnsOf(pool, zero));
    const CallResult realCall = callModule(s.module.entry, 1, columnsOf(pool, real));
    expectAnalysis(withZero, zero, 1);
    if (!withZero.raised && !realCall.raised) {
        CHECK(withZero.outputs[0].real == realCall.outputs[0].real);
        CHECK(withZero.outputs[0].imag == realCall.outputs[0].imag);
    }

    caseName = "conjugate at the opposite frequencies";
    Case conjugate = c;
    for (double& v : conjugate.signalImag) v = -v;
    for (double& f : conjugate.frequencies) f = -f;
    const CallResult x = callModule(s.module.entry, 1, columnsOf(pool, c));
    const CallResult y = callModule(s.module.entry, 1, columnsOf(pool, conjugate));
    expectAnalysis(y, conjugate, 1);
    if (!x.raised && !y.raised) {
        std::vector<double> negated = x.outputs[0].imag;
        for (double& v : negated) v = -v;
        CHECK(y.outputs[0].real == x.outputs[0].real);
        CHECK(y.outputs[0].imag == negated);
    }
}

// The coefficients of channel p of an N-by-P signal (page p of the result).
std::vector<double> page(const std::vector<double>& values, std::size_t p, std::size_t P) {
    const std::size_t size = values.size() / P;
    return std::vector<double>(values.begin() + p * size, values.begin() + (p + 1) * size);
}

// An N-by-P signal is P channels: K-by-M-by-P coefficients, page p the
// bits of the call with column p. The signal is read where the host keeps
// it, whatever its class: no array of its size is made. No channels, or
// channels of no samples, give empty pages of the documented shape.
void signalChannels(Session& s) {
    std::mt19937_64 rng(79);
    for (std::size_t P : {2u, 3u}) {
        Case c = caseFrom(randomCase(rng, 400, 29, 7));
        c.channels = P;
        c.signal = randomValues(rng, 400 * P, 1.0);
        caseName = std::to_string(P) + " channels";
        ArrayPool pool;
        const CallResult all = callModule(s.module.entry, 3, columnsOf(pool, c));
        expectAnalysis(all, c, 3);
        for (std::size_t p = 0; p < P && !all.raised; ++p) {
            Case one = c;
            one.channels = 1;
            one.signal = page(c.signal, p, P);
            const CallResult single = callModule(s.module.entry, 1, columnsOf(pool, one));
            CHECK(!single.raised && sameBits(page(all.outputs[0].real, p, P), single.outputs[0].real) &&
                  sameBits(page(all.outputs[0].imag, p, P), single.outputs[0].imag));
        }
    }

    caseName = "complex int16, 2 channels of 4001 samples";
    Case typed;
    typed.window = {1, 2, 3, 2, 1};
    typed.overlap = 1;
    typed.frequencies = {0, 0.125, -0.25};
    typed.sampleRate = 1;
    typed.channels = 2;
    typed.complex = true;
    typed.signal = valuesOfClass(standin::ArrayClass::Int16, 8002, rng);
    typed.signalImag = valuesOfClass(standin::ArrayClass::Int16, 8002, rng);
    ArrayPool pool;
    const CallResult r = callModule(s.module.entry, 3, columnsOf(pool, typed, standin::ArrayClass::Int16, 1u));
    expectAnalysis(r, typed, 3);
    const int K = 3, M = 1000;
    CHECK(!r.created.empty() && r.created[0].rows == K && r.created[0].columns == M &&
          r.created[0].pages == 2 && r.created[0].complex);
    bool imaginaryPart = false;
    for (const standin::CreatedShape& created : r.created) {
        const std::size_t elements = static_cast<std::size_t>(created.rows) * created.columns * created.pages;
        CHECK(elements != 4001 && elements != 8002);
        imaginaryPart = imaginaryPart || (created.rows == 2 && created.columns == K && created.pages == 2u * M);
    }
    CHECK(imaginaryPart);

    // N-by-0: no channels, M frames of N samples each; 0-by-P: P channels of
    // no samples. Real and complex.
    for (const Dimensions& shape : {Dimensions{10, 0}, Dimensions{0, 4}}) {
        for (bool complex : {false, true}) {
            Case empty = typed;
            empty.rows = shape[0];
            empty.channels = shape[1];
            empty.complex = complex;
            empty.signal.clear();
            empty.signalImag.clear();
            caseName = "signal " + std::to_string(shape[0]) + "x" + std::to_string(shape[1]) +
                       (complex ? " complex" : "");
            ArrayPool emptyPool;
            expectAnalysis(callModule(s.module.entry, 3, columnsOf(emptyPool, empty)), empty, 3);
        }
    }
}

// A cell of one window per frequency: the per-frequency model's bits, in
// every class and for complex signals of several channels, with no element
// misread; a cell of equal windows gives the plain call's bits, a cell of
// one window that window's; a longest window beyond the signal no frames.
void windowsPerFrequency(Session& s) {
    std::mt19937_64 rng(80);
    Case c = caseFrom(randomCase(rng, 700, 1, 6));
    for (int k = 0; k < 6; ++k) c.windows.push_back(valuesOfClass(standin::ArrayClass::Int16, 1 + rng() % 90, rng));
    c.windows[0] = valuesOfClass(standin::ArrayClass::Int16, 90, rng);  // longer than the overlap
    c.windows[3] = c.windows[2];
    c.overlap = 40;
    for (standin::ArrayClass arrayClass : {standin::ArrayClass::Double, standin::ArrayClass::Int16}) {
        caseName = arrayClass == standin::ArrayClass::Double ? "double windows" : "int16 windows";
        ArrayPool pool;
        expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, c, arrayClass, 2u)), c, 3);
    }
    caseName = "complex signal, 2 channels";
    Case complex = c;
    complex.channels = 2;
    complex.complex = true;
    complex.signal = randomValues(rng, 1400, 1.0);
    complex.signalImag = randomValues(rng, 1400, 1.0);
    ArrayPool pool;
    expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, complex)), complex, 3);

    for (std::size_t count : {1u, 6u}) {
        caseName = std::to_string(count) + " equal windows";
        Case equal = c;
        equal.window = c.windows[0];
        equal.windows.assign(count, equal.window);
        Case plain = equal;
        plain.windows.clear();
        const CallResult cell = callModule(s.module.entry, 3, columnsOf(pool, equal));
        expectAnalysis(cell, plain, 3);
    }

    caseName = "longest window beyond the signal";
    Case none = c;
    none.windows[4].assign(701, 1.0);
    none.overlap = 0;
    expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, none)), none, 3);
}

struct Rejection {
    const char* description;
    int slot;
    mxArray* replacement;
    const char* identifier;
    const char* argumentName;
    const char* reason = nullptr;  // a phrase the message must hold
    std::vector<mxArray*> extra = {};  // inputs after the fifth
};

void validation(Session& s) {
    ArrayPool pool;
    Case c;
    c.signal = {1, 2, 3, 4, 5, 6, 7, 8};
    c.window = {1, 1, 1, 1};
    c.overlap = 2;
    c.frequencies = {0.1, 0.2};
    c.sampleRate = 1;
    const std::vector<mxArray*> good = columnsOf(pool, c);
    const char* names[] = {"signal", "window", "overlap", "frequencies", "sampleRate"};
    const char* kindIds[] = {"spectrogrid:signalNotRealDouble", "spectrogrid:windowNotRealDouble",
                             "spectrogrid:overlapNotRealDouble",
                             "spectrogrid:frequenciesNotRealDouble",
                             "spectrogrid:sampleRateNotRealDouble"};

    std::vector<Rejection> cases;
    using standin::ArrayClass;
    // Classes not every value of which is a double, or that hold no numbers;
    // sparse arrays; complex values anywhere but in the signal.
    const struct { const char* name; ArrayClass arrayClass; const char* reason; } rejectedClasses[] = {
        {"int64", ArrayClass::Int64, "not every 64-bit integer is exactly a double"},
        {"uint64", ArrayClass::Uint64, "not every 64-bit integer is exactly a double"},
        {"logical", ArrayClass::Logical, "must be a numeric array"},
        {"char", ArrayClass::Char, "must be a numeric array"},
        {"cell", ArrayClass::Cell, "must be a numeric array"},
        {"struct", ArrayClass::Struct, "must be a numeric array"},
        {"function handle", ArrayClass::FunctionHandle, "must be a numeric array"},
    };
    for (int slot = 0; slot < 5; ++slot) {
        const bool scalar = slot == 2 || slot == 4;
        const Dimensions shape = scalar ? Dimensions{1, 1} : Dimensions{4, 1};
        for (const auto& rejected : rejectedClasses) {
            if (slot == 1 && rejected.arrayClass == ArrayClass::Cell) continue;  // windows per frequency
            cases.push_back({rejected.name, slot, pool.ofClass(rejected.arrayClass, shape), kindIds[slot],
                             names[slot], rejected.reason});
        }
        cases.push_back({"sparse", slot, pool.sparseDoubles(shape), kindIds[slot], names[slot], "full()"});
        if (slot == 0) continue;
        cases.push_back({"complex", slot, pool.complexDoubles(shape), kindIds[slot], names[slot],
                         "only signal may be complex"});
        cases.push_back({"complex int16", slot, pool.numeric(ArrayClass::Int16, shape, {1, 2, 3, 4}, {0, 0, 0, 0}),
                         kindIds[slot], names[slot], "only signal may be complex"});
    }
    const struct { int slot; const char* notVector; const char* tooLong; } vectors[] = {
        {0, "spectrogrid:signalNotVector", "spectrogrid:signalTooLong"},
        {1, "spectrogrid:windowNotVector", "spectrogrid:windowTooLong"},
        {3, "spectrogrid:frequenciesNotVector", "spectrogrid:frequenciesTooLong"},
    };
    const std::size_t beyond31Bits = 2147483648u;
    for (const auto& v : vectors) {
        const char* name = names[v.slot];
        if (v.slot != 0) {  // a signal matrix is channels
            cases.push_back({"2x3 matrix", v.slot, pool.doubles({2, 3}, std::vector<double>(6, 1.0)), v.notVector, name});
        }
        cases.push_back({"1x2x3 array", v.slot, pool.doubles({1, 2, 3}, std::vector<double>(6, 1.0)), v.notVector, name});
        cases.push_back({"3x1x2 array", v.slot, pool.doubles({3, 1, 2}, std::vector<double>(6, 1.0)), v.notVector, name});
        cases.push_back({"2x2x2 array", v.slot, pool.doubles({2, 2, 2}, std::vector<double>(8, 1.0)), v.notVector, name});
        // One past the largest 32-bit count, in either orientation: never truncated.
        cases.push_back({"2^31 elements", v.slot, pool.unbacked({beyond31Bits, 1}), v.tooLong, name});
        if (sizeof(std::size_t) > 4) {
            const std::size_t beyond32Bits = static_cast<std::size_t>(std::uint64_t{4294967297u});
            cases.push_back({"1 x 2^32+1", v.slot, pool.unbacked({1, beyond32Bits}), v.tooLong, name});
            // Too many samples per channel, or too many channels.
            cases.push_back({"2^31 x 2", v.slot, pool.unbacked({beyond31Bits, 2}), v.tooLong, name});
            cases.push_back({"2 x 2^31", v.slot, pool.unbacked({2, beyond31Bits}), v.tooLong, name});
        }
    }
    // More coefficients than the platform can address: K x M x P beyond
    // 2^60 (64-bit) or 2^28 (32-bit), whatever the host would make of it.
    const std::size_t side = sizeof(std::size_t) > 4 ? 2147483647u : 65535u;
    cases.push_back({"result too large", 0, pool.unbacked({side, side}), "spectrogrid:resultTooLarge", nullptr,
                     "platform can address"});
    cases.push_back({"empty window 0x1", 1, pool.doubles({0, 1}, {}), "spectrogrid:windowEmpty", "window"});
    cases.push_back({"empty window 0x0", 1, pool.doubles({0, 0}, {}), "spectrogrid:windowEmpty", "window"});
    for (int slot : {2, 4}) {
        const char* id = slot == 2 ? "spectrogrid:overlapNotScalar" : "spectrogrid:sampleRateNotScalar";
        cases.push_back({"empty scalar", slot, pool.doubles({0, 0}, {}), id, names[slot]});
        cases.push_back({"two elements", slot, pool.doubles({1, 2}, {1, 1}), id, names[slot]});
        cases.push_back({"2x2", slot, pool.doubles({2, 2}, {1, 1, 1, 1}), id, names[slot]});
    }
    // L = 4: the hop trunc(4 - overlap) must lie in 1 .. 2^31 - 1.
    for (double overlap : {nan, inf, -inf, 4.0, 3.5, 100.0, 4.0 - 2147483648.0, -1e300}) {
        cases.push_back({"overlap out of range", 2, pool.scalar(overlap), "spectrogrid:overlapOutOfRange", "overlap"});
    }
    for (double rate : {0.0, -0.0, -1.0, nan, inf, -inf}) {
        cases.push_back({"sample rate", 4, pool.scalar(rate), "spectrogrid:sampleRateNotPositive", "sampleRate"});
    }

    // A cell of windows: each element a window, named by its position; one
    // window per frequency (K = 2 here) or one for all.
    mxArray* w4 = good[1];
    const auto cellOf = [&](const std::vector<mxArray*>& elements) {
        return pool.cell({1, elements.size()}, elements);
    };
    cases.push_back({"cell of unset elements", 1, pool.ofClass(ArrayClass::Cell, {2, 2}),
                     "spectrogrid:windowEmpty", "window{1}"});
    cases.push_back({"empty cell", 1, pool.ofClass(ArrayClass::Cell, {0, 0}), "spectrogrid:windowEmpty", "window"});
    cases.push_back({"cell with int64", 1, cellOf({w4, pool.ofClass(ArrayClass::Int64, {4, 1})}),
                     "spectrogrid:windowNotRealDouble", "window{2}", "64-bit integer"});
    cases.push_back({"cell in a cell", 1, cellOf({w4, cellOf({w4})}), "spectrogrid:windowNotRealDouble",
                     "window{2}", "numeric array"});
    cases.push_back({"cell with a matrix", 1, cellOf({w4, pool.doubles({2, 3}, std::vector<double>(6, 1.0))}),
                     "spectrogrid:windowNotVector", "window{2}"});
    cases.push_back({"cell with complex", 1, cellOf({pool.complexDoubles({4, 1}), w4}),
                     "spectrogrid:windowNotRealDouble", "window{1}", "only signal may be complex"});
    cases.push_back({"three windows for two frequencies", 1, cellOf({w4, w4, w4}),
                     "spectrogrid:windowCountMismatch", "window", "one window per frequency"});
    // The frame length is the longest window's: overlap 2 leaves no hop for
    // a longest window of 2 samples.
    cases.push_back({"cell of short windows", 1, cellOf({pool.column({1, 1}), pool.column({1, 1})}),
                     "spectrogrid:overlapOutOfRange", "overlap"});

    // Options: when the sixth input is text, name-value pairs from there on.
    const auto withOptions = [&](const char* description, std::vector<mxArray*> extra, const char* id,
                                 const char* argumentName, const char* reason) {
        cases.push_back({description, 4, good[4], id, argumentName, reason, std::move(extra)});
    };
    withOptions("unknown option", {pool.text("Tol"), pool.scalar(1e-9)}, "spectrogrid:unknownOption", "Tol",
                "'Tolerance'");
    withOptions("option name with more after it", {pool.text("Tolerance2"), pool.scalar(1e-9)},
                "spectrogrid:unknownOption", "Tolerance2", nullptr);
    withOptions("no value", {pool.text("Tolerance")}, "spectrogrid:optionValueMissing", "Tolerance", nullptr);
    withOptions("second name not text", {pool.text("tolerance"), pool.scalar(1e-9), pool.scalar(3), pool.scalar(1)},
                "spectrogrid:optionNameNotText", "input 8", nullptr);
    withOptions("name as a string object", {pool.ofClass(ArrayClass::StringObject, {1, 1}), pool.scalar(1e-9)},
                "spectrogrid:optionNameNotText", "input 6", "single quotes");
    for (mxArray* value : {pool.doubles({1, 2}, {1e-9, 1e-9}), pool.doubles({0, 0}, {}), pool.text("a"),
                           pool.complexDoubles({1, 1}), pool.ofClass(ArrayClass::Int64, {1, 1}),
                           pool.sparseDoubles({1, 1}), cellOf({pool.scalar(1e-9)})}) {
        withOptions("tolerance not a real scalar", {pool.text("Tolerance"), value},
                    "spectrogrid:toleranceNotRealScalar", "Tolerance", nullptr);
    }
    for (double tol : {nan, -1e-9, -0.0 - 1e-300, 1e-13, 9.9e-13, 0.1000001, 1.0, inf}) {
        withOptions("tolerance out of range", {pool.text("TOLERANCE"), pool.scalar(tol)},
                    "spectrogrid:toleranceOutOfRange", "Tolerance", "between 1e-12 and 0.1");
    }
    // Each occurrence is checked, the last one's value used.
    withOptions("bad first of two", {pool.text("Tolerance"), pool.scalar(0.5), pool.text("Tolerance"), pool.scalar(0)},
                "spectrogrid:toleranceOutOfRange", "Tolerance", nullptr);

    for (const Rejection& rejection : cases) {
        caseName = std::string(names[rejection.slot]) + ": " + rejection.description;
        std::vector<mxArray*> inputs = good;
        inputs[rejection.slot] = rejection.replacement;
        inputs.insert(inputs.end(), rejection.extra.begin(), rejection.extra.end());
        for (int nlhs : {0, 3}) {
            const CallResult r = callModule(s.module.entry, nlhs, inputs);
            expectRejected(r, rejection.identifier, rejection.argumentName);
            if (rejection.reason != nullptr) CHECK(r.message.find(rejection.reason) != std::string::npos);
        }
    }

    // Arguments are checked in order: the first bad one is reported.
    caseName = "bad signal and bad sample rate";
    std::vector<mxArray*> inputs = good;
    inputs[0] = pool.ofClass(ArrayClass::Uint64, {4, 1});
    inputs[4] = pool.scalar(-1);
    expectRejected(callModule(s.module.entry, 1, inputs), "spectrogrid:signalNotRealDouble", "signal");
}

void acceptedBoundaries(Session& s) {
    Case c;
    c.signal = {1, -2, 3, -4, 5, -6, 7, -8, 9};
    c.window = {1, 0.5, 0.25, 0.125};
    c.frequencies = {0.05, 0.45};
    c.sampleRate = 1;
    // Hop 1 (integral and fractional overlap), negative overlap (gaps), the
    // largest hop there is, and the smallest positive sample rate.
    for (double overlap : {3.0, 2.5, 0.0, -0.75, -5.0, 4.0 - 2147483647.0}) {
        caseName = "overlap " + std::to_string(overlap);
        c.overlap = overlap;
        ArrayPool pool;
        expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, c)), c, 3);
    }
    for (double rate : {4.9406564584124654e-324, 1e300}) {
        caseName = "sample rate " + std::to_string(rate);
        c.overlap = 1;
        c.sampleRate = rate;
        ArrayPool pool;
        expectAnalysis(callModule(s.module.entry, 3, columnsOf(pool, c)), c, 3);
    }
}

#if defined(_WIN32)
// A module with its own static copy of the OpenMP runtime (the Windows
// ones) keeps its thread setting out of the host's sight; what shows is the
// worker threads its first parallel call starts. The 64-bit Windows module
// computes serially and must start none.
void threadsStartedByTheModule(Session& s) {
    ArrayPool pool;
    const Case c = workedExample();
    const std::vector<mxArray*> inputs = columnsOf(pool, c);
    const bool serial = s.modulePath.size() >= 7 &&
                        s.modulePath.compare(s.modulePath.size() - 7, 7, ".mexw64") == 0;
    const int before = processThreadCount();
    CHECK(before > 0);

    caseName = "too few inputs start no thread";
    const std::vector<mxArray*> four(inputs.begin(), inputs.begin() + 4);
    expectRejected(callModule(s.module.entry, 1, four), "spectrogrid:notEnoughInputs", nullptr);
    CHECK(processThreadCount() == before);

    caseName = serial ? "the serial module starts no thread"
                      : "a call runs min(processors, 4) threads";
    expectAnalysis(callModule(s.module.entry, 1, inputs), c, 1);
    const int expectedWorkers = serial ? 0 : processorThreads() - 1;
    CHECK(processThreadCount() == before + expectedWorkers);

    caseName = "later calls reuse the same threads";
    expectAnalysis(callModule(s.module.entry, 3, inputs), c, 3);
    CHECK(processThreadCount() == before + expectedWorkers);
}
#endif

void threadSetting(Session& s) {
#if defined(_WIN32)
    threadsStartedByTheModule(s);
#else
    ArrayPool pool;
    const Case c = workedExample();
    const std::vector<mxArray*> inputs = columnsOf(pool, c);

    caseName = "a call sets min(processors, 4) threads";
    omp_set_num_threads(7);
    expectAnalysis(callModule(s.module.entry, 1, inputs), c, 1);
    CHECK(omp_get_max_threads() == processorThreads());

    caseName = "too few inputs set nothing";
    omp_set_num_threads(7);
    const std::vector<mxArray*> four(inputs.begin(), inputs.begin() + 4);
    expectRejected(callModule(s.module.entry, 1, four), "spectrogrid:notEnoughInputs", nullptr);
    CHECK(omp_get_max_threads() == 7);
    omp_set_num_threads(1);
#endif
}

void reload(Session& s) {
    ArrayPool pool;
    const Case c = workedExample();
    const std::vector<mxArray*> inputs = columnsOf(pool, c);
    const CallResult first = callModule(s.module.entry, 3, inputs);
    expectAnalysis(first, c, 3);
    std::vector<mxArray*> badInputs = inputs;
    badInputs[4] = pool.scalar(0);
    for (int round = 0; round < 6; ++round) {
        caseName = "round " + std::to_string(round);
        std::string error;
        CHECK(unloadModule(&s.module, &error));
        if (!CHECK(loadModule(s.modulePath, &s.module, &error))) {
            std::fprintf(stderr, "  %s\n", error.c_str());
            return;
        }
        const CallResult again = callModule(s.module.entry, 3, inputs);
        expectAnalysis(again, c, 3);
        if (!again.raised && !first.raised) {
            CHECK(sameBits(first.outputs[0].real, again.outputs[0].real));
            CHECK(sameBits(first.outputs[0].imag, again.outputs[0].imag));
        }
        expectRejected(callModule(s.module.entry, 1, badInputs),
                       "spectrogrid:sampleRateNotPositive", "sampleRate");
    }
}

// Ctrl-C during a call: libut's query says an interrupt is pending from its
// n-th question on. The call ends through the error call with
// spectrogrid:interrupted, asking no more once told, hands nothing back and
// leaves no array behind; its threads have stopped (under AddressSanitizer
// a thread still writing would write into reclaimed arrays), and the next
// call gives the reference bits. With no interrupt the query is asked and
// changes nothing.
void interrupt(Session& s) {
    std::mt19937_64 rng(2121);
    Case large = caseFrom(randomCase(rng, 200000, 256, 300));
    large.overlap = 128;
    Case stereo = caseFrom(randomCase(rng, 100000, 200, 90));
    stereo.overlap = 100;
    stereo.channels = 2;
    stereo.complex = true;
    stereo.signal = randomValues(rng, 200000, 1.0);
    stereo.signalImag = randomValues(rng, 200000, 1.0);
    struct Interruption { const char* name; const Case* input; int question; };
    const Interruption interruptions[] = {
        {"pending before the call", &large, 1},
        {"pressed during the call", &large, 3},
        {"pressed during a complex two-channel call", &stereo, 2},
        {"never pressed", &large, 0},
    };
    for (const Interruption& t : interruptions) {
        caseName = t.name;
        ArrayPool pool;
        const std::vector<mxArray*> inputs = columnsOf(pool, *t.input);
        standin::interruptFromQuestion(t.question);
        const CallResult r = callModule(s.module.entry, 3, inputs);
        const int asked = standin::interruptQuestions();
        standin::interruptFromQuestion(0);
        if (t.question == 0) {
            expectAnalysis(r, *t.input, 3);
            CHECK(asked >= 1);
            continue;
        }
        CHECK(r.raised && r.identifier == "spectrogrid:interrupted");
        if (!CHECK(asked == t.question)) std::fprintf(stderr, "  asked %d times\n", asked);
        CHECK(r.arraysReclaimed && r.misreads == 0 && r.slotsBeyondUntouched);
        for (const Output& out : r.outputs) CHECK(!out.assigned);
        expectAnalysis(callModule(s.module.entry, 3, inputs), *t.input, 3);
    }
}

struct Scenario {
    const char* name;
    void (*run)(Session&);
};

const Scenario scenarios[] = {
    {"inputCount", inputCount},
    {"outputCount", outputCount},
    {"workedExample", workedExampleScenario},
    {"referenceBits", referenceBits},
    {"orientation", orientation},
    {"emptyInputs", emptyInputs},
    {"nonFiniteValues", nonFiniteValues},
    {"validation", validation},
    {"acceptedBoundaries", acceptedBoundaries},
    {"threadSetting", threadSetting},
    {"reload", reload},
    {"stackAlignment", stackAlignment},
    {"platformBits", platformBits},
    {"inputClasses", inputClasses},
    {"complexSignals", complexSignals},
    {"signalChannels", signalChannels},
    {"interrupt", interrupt},
    {"windowsPerFrequency", windowsPerFrequency},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE [SCENARIO ...]\nscenarios:", argv[0]);
        for (const Scenario& scenario : scenarios) std::fprintf(stderr, " %s", scenario.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    Session session;
    session.modulePath = argv[1];
    std::string error;
    if (!loadModule(session.modulePath, &session.module, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    std::vector<const Scenario*> chosen;
    for (int a = 2; a < argc; ++a) {
        const Scenario* found = nullptr;
        for (const Scenario& scenario : scenarios) {
            if (argv[a] == std::string(scenario.name)) found = &scenario;
        }
        if (found == nullptr) {
            std::fprintf(stderr, "unknown scenario %s\n", argv[a]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const Scenario& scenario : scenarios) chosen.push_back(&scenario);
    }

    int scenariosFailed = 0;
    for (const Scenario* scenario : chosen) {
        const int failedBefore = checksFailed;
        const int passedBefore = checksPassed;
        caseName.clear();
        scenario->run(session);
        const bool ok = checksFailed == failedBefore;
        if (!ok) ++scenariosFailed;
        std::printf("%s %s (%d checks)\n", ok ? "ok  " : "FAIL", scenario->name,
                    checksPassed + checksFailed - passedBefore - failedBefore);
    }
    unloadModule(&session.module, &error);
    std::printf("%d passed, %d failed\n", checksPassed, checksFailed);
    return scenariosFailed == 0 ? 0 : 1;
}
