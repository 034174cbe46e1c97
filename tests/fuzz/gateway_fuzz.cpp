// Fuzz target of the gateway (libFuzzer). Each input of the fuzzer is
// decoded into one call of mexFunction through the stand-in host: 0 to 7
// input arrays of every class and form the host has (real and complex, of
// every numeric class), in empty, scalar, vector, matrix, N-d and too-long
// shapes, holding extreme values of their class, cells of up to eight such
// arrays as the window (one per frequency), and 0 to 4 outputs. Every
// call must either raise exactly the error the documented checks give,
// having created nothing, or return outputs of the documented shapes; the
// host must have reclaimed every array and seen no read of data the module
// may not read. One successful call in eight, chosen by the input, is also
// compared with the reference model bit for bit (a cell of windows with the
// model run once per frequency; each channel of the
// values converted to double, a complex signal's parts combined as
// A + iB); its twiddles come from the core's own sine-cosine routine here
// (the sine-cosine tests hold it to MPFR), which keeps the comparison
// cheap. A failed check prints the call and aborts, which the fuzzer
// reports as a crash.
//
// The decoding reads one byte at a time and reads zeros past the end, so
// every input decodes. Layout:
//   byte 0             nrhs = b % 8, nlhs = (b / 8) % 5
//   per input          kind byte, shape byte, shape parameter bytes, then
//                      one value per element of each plane of a numeric
//                      class the gateway reads (see decodeValueOf); a cell
//                      then its elements, each decoded as an input
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "expectations.h"
#include "spectrogrid_core.h"
#include "host_call.h"

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

std::uint8_t nextByte(Bytes* bytes) { return bytes->at < bytes->size ? bytes->data[bytes->at++] : 0; }

// ---- what an input array can be -----------------------------------------

// The classes and forms of array the decoder makes. A class or form the host
// gains is one more row here (and, where it differs, in makeArray).
struct InputKind {
    const char* name;
    standin::ArrayClass arrayClass;
    bool complex;
    bool sparse;
};

using standin::ArrayClass;
constexpr InputKind inputKinds[] = {
    {"double", ArrayClass::Double, false, false},
    {"complex double", ArrayClass::Double, true, false},
    {"sparse double", ArrayClass::Double, false, true},
    {"single", ArrayClass::Single, false, false},
    {"int32", ArrayClass::Int32, false, false},
    {"logical", ArrayClass::Logical, false, false},
    {"char", ArrayClass::Char, false, false},
    {"cell", ArrayClass::Cell, false, false},
    {"complex single", ArrayClass::Single, true, false},
    {"int8", ArrayClass::Int8, false, false},
    {"uint8", ArrayClass::Uint8, false, false},
    {"int16", ArrayClass::Int16, false, false},
    {"uint16", ArrayClass::Uint16, false, false},
    {"uint32", ArrayClass::Uint32, false, false},
    {"complex int8", ArrayClass::Int8, true, false},
    {"complex uint16", ArrayClass::Uint16, true, false},
    {"complex int32", ArrayClass::Int32, true, false},
    {"complex uint32", ArrayClass::Uint32, true, false},
    {"int64", ArrayClass::Int64, false, false},
    {"uint64", ArrayClass::Uint64, false, false},
    {"complex int64", ArrayClass::Int64, true, false},
    {"struct", ArrayClass::Struct, false, false},
    {"function handle", ArrayClass::FunctionHandle, false, false},
    {"sparse complex double", ArrayClass::Double, true, true},
    {"string object", ArrayClass::StringObject, false, false},
    {"option name", ArrayClass::Char, false, false},  // 'Tolerance'
};
const InputKind& optionName = inputKinds[sizeof inputKinds / sizeof inputKinds[0] - 1];
constexpr int kindCount = static_cast<int>(sizeof inputKinds / sizeof inputKinds[0]);

// Nine in sixteen inputs are real doubles, the kind most calls use, and
// one in sixteen is a cell (as a window, one per frequency).
const InputKind& decodeKind(Bytes* bytes) {
    const int b = nextByte(bytes);
    if (b < 144) return inputKinds[0];
    if (b < 160) return inputKinds[7];
    return inputKinds[1 + (b - 160) % (kindCount - 1)];
}

bool isRealDouble(const InputKind& kind) {
    return kind.arrayClass == ArrayClass::Double && !kind.complex && !kind.sparse;
}

// The classes the gateway reads; every value of theirs is a double.
bool isAccepted(ArrayClass arrayClass) {
    switch (arrayClass) {
        case ArrayClass::Double: case ArrayClass::Single: case ArrayClass::Int8: case ArrayClass::Uint8:
        case ArrayClass::Int16: case ArrayClass::Uint16: case ArrayClass::Int32: case ArrayClass::Uint32:
            return true;
        default:
            return false;
    }
}

// Longest vector decoded: keeps a call to microseconds.
constexpr std::size_t maxVectorLength = 32;

// Real double arrays that every input rejects unread, for which the host
// keeps no data: any read of them is a fault. Each has more than 2^31 - 1
// elements, and as a signal more than 2^31 - 1 samples or channels, or
// more than two dimensions.
Dimensions tooLongShape(std::uint8_t b) {
    const std::size_t k = b / 8;
    const std::size_t beyond = (std::size_t{1} << 31) + k;
    switch (b % 7) {
        case 0: return {std::size_t{1} << 31, 1};
        case 1: return {1, beyond};
        case 2: return {beyond, 2};
        case 3: return {1, 1, std::size_t{1} << 31};
        case 4: return {3, beyond};
        case 5: return {2, 2, (std::size_t{1} << 30) + k};
        default: return {1, (std::size_t{1} << 32) + 1 + k};
    }
}

Dimensions decodeShape(Bytes* bytes, const InputKind& kind, bool* backed) {
    const std::uint8_t shape = nextByte(bytes);
    const std::uint8_t p = nextByte(bytes);
    if (&kind == &optionName) {
        *backed = true;
        return {1, 9};
    }
    const std::size_t n = p % (maxVectorLength + 1);
    *backed = true;
    switch (shape % 8) {
        case 0: {  // empty, in the shapes an empty array can have
            const std::size_t k = 1 + (p / 6) % 5;
            const Dimensions empties[] = {{0, 0}, {0, 1}, {1, 0}, {0, k}, {k, 0}, {1, 1, 0}};
            return empties[p % 6];
        }
        case 1: return p % 2 ? Dimensions{1, 1} : Dimensions{1, 1, 1};
        case 2: return {n, 1};
        case 3: return {1, n};
        case 4: return {1, 1, n};
        case 5: return {std::size_t{p % 6u}, std::size_t{(p / 6u) % 6u}};
        case 6: {  // 3 or 4 dimensions of 0 to 3
            Dimensions dims(3 + p % 2);
            for (std::size_t& d : dims) d = nextByte(bytes) % 4;
            return dims;
        }
        default:
            if (!isRealDouble(kind)) return {1 + p % 4u, 1 + (p / 4u) % 4u};
            *backed = false;
            return tooLongShape(p);
    }
}

// ---- values --------------------------------------------------------------

double fromBits(std::uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

const double specialValues[] = {
    0.0, -0.0, 1.0, -1.0, 0.5, 2.0,
    std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
    fromBits(0x7ff0000000000001ULL),  // signalling NaN
    std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
    fromBits(0x000fffffffffffffULL),  // largest subnormal
    std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(), std::numeric_limits<double>::epsilon(),
    2147483647.0, 2147483648.0, 2147483649.0, -2147483647.0, -2147483648.0, -2147483649.0,
    4294967297.0, 9007199254740993.0, 1e300, -1e300, 1e-300, 6.283185307179586,
    44100.0, 48000.0, 1e-3,
};
constexpr int specialCount = static_cast<int>(sizeof specialValues / sizeof specialValues[0]);

// A double: one byte picks a special value, a small integer (-64 to 127
// less the specials), a multiple of 1/8 (-3.5 to 3.375), or the bits of the
// next eight bytes.
double decodeValue(Bytes* bytes) {
    const int b = nextByte(bytes);
    if (b < specialCount) return specialValues[b];
    if (b < 192) return static_cast<double>(b - 64);
    if (b < 248) return static_cast<double>(b - 220) / 8.0;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(nextByte(bytes)) << (8 * i);
    return fromBits(bits);
}

const float floatSpecials[] = {
    0.0f, -0.0f, 1.0f, -1.0f, 0.5f,
    std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::denorm_min(),
    std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
    -std::numeric_limits<float>::max(), 16777217.0f, 2147483648.0f, 44100.0f,
};
constexpr int floatSpecialCount = static_cast<int>(sizeof floatSpecials / sizeof floatSpecials[0]);

template <typename T>
double rawValue(Bytes* bytes) {
    std::uint8_t raw[sizeof(T)];
    for (std::uint8_t& b : raw) b = nextByte(bytes);
    T value;
    std::memcpy(&value, raw, sizeof value);
    return static_cast<double>(value);
}

// A value of the class, as the double it converts to. Single: one byte
// picks a special value, a multiple of 1/8 (-16 to 14.875), or the bits of
// the next four bytes. Integers: the bits of the next bytes, all values.
double decodeValueOf(Bytes* bytes, ArrayClass arrayClass) {
    switch (arrayClass) {
        case ArrayClass::Double: return decodeValue(bytes);
        case ArrayClass::Single: {
            const int b = nextByte(bytes);
            if (b < floatSpecialCount) return floatSpecials[b];
            if (b < 248) return static_cast<double>(b - 128) / 8.0;
            return rawValue<float>(bytes);
        }
        case ArrayClass::Int8: return rawValue<std::int8_t>(bytes);
        case ArrayClass::Uint8: return rawValue<std::uint8_t>(bytes);
        case ArrayClass::Int16: return rawValue<std::int16_t>(bytes);
        case ArrayClass::Uint16: return rawValue<std::uint16_t>(bytes);
        case ArrayClass::Int32: return rawValue<std::int32_t>(bytes);
        case ArrayClass::Uint32: return rawValue<std::uint32_t>(bytes);
        default: return 0.0;
    }
}

// ---- one decoded input and the array made from it ------------------------

struct DecodedInput {
    const InputKind* kind;
    Dimensions dims;
    bool backed;
    std::vector<double> real, imag;  // the values as doubles, in storage order
    std::vector<DecodedInput> elements;  // of a cell
};

std::size_t elementCount(const Dimensions& dims) {
    std::size_t n = 1;
    for (std::size_t d : dims) n *= d;
    return n;
}

// Elements of a decoded cell, at most: a cell of windows is short.
constexpr std::size_t maxCellElements = 8;

// An input; a cell among the inputs holds inputs of its own (whose cells
// stay empty).
DecodedInput decodeInput(Bytes* bytes, bool inCell = false) {
    DecodedInput input;
    input.kind = &decodeKind(bytes);
    input.dims = decodeShape(bytes, *input.kind, &input.backed);
    const ArrayClass arrayClass = input.kind->arrayClass;
    if (arrayClass == ArrayClass::Cell && input.backed && !inCell) {
        if (elementCount(input.dims) > maxCellElements) input.dims = {1, 1 + elementCount(input.dims) % maxCellElements};
        input.elements.resize(elementCount(input.dims));
        for (DecodedInput& element : input.elements) element = decodeInput(bytes, true);
    }
    if (input.backed && isAccepted(arrayClass)) {
        input.real.resize(elementCount(input.dims));
        for (double& v : input.real) v = decodeValueOf(bytes, arrayClass);
        if (input.kind->complex) {
            input.imag.resize(input.real.size());
            for (double& v : input.imag) v = decodeValueOf(bytes, arrayClass);
        }
    }
    return input;
}

mxArray* makeArray(ArrayPool& pool, const DecodedInput& input) {
    const InputKind& kind = *input.kind;
    if (!input.backed) return pool.unbacked(input.dims);
    // The gateway reads no element of a sparse array: its values are dropped.
    if (kind.sparse) return pool.sparseDoubles(input.dims, kind.complex);
    if (&kind == &optionName) return pool.text("Tolerance");
    if (kind.arrayClass == ArrayClass::Cell && !input.elements.empty()) {
        std::vector<mxArray*> elements;
        for (const DecodedInput& element : input.elements) elements.push_back(makeArray(pool, element));
        return pool.cell(input.dims, elements);
    }
    if (!isAccepted(kind.arrayClass)) return pool.ofClass(kind.arrayClass, input.dims);
    if (kind.arrayClass == ArrayClass::Double) {
        // The bits as decoded: signalling NaNs and NaN payloads included.
        mxArray* array = kind.complex ? pool.complexDoubles(input.dims) : pool.doubles(input.dims, {});
        if (!input.real.empty()) std::memcpy(standin::realData(array), input.real.data(), input.real.size() * sizeof(double));
        if (!input.imag.empty()) std::memcpy(standin::imagData(array), input.imag.data(), input.imag.size() * sizeof(double));
        return array;
    }
    return pool.numeric(kind.arrayClass, input.dims, input.real, input.imag, kind.complex);
}

// ---- what the call must give ---------------------------------------------

struct Verdict {
    std::string identifier;  // empty: an analysis
    const char* argumentName;
};

// The signal's samples per channel and channels: a vector, or [], is one
// channel, a matrix is channels (its columns); nd marks more dimensions.
struct SignalShape {
    std::size_t samples, channels;
    bool nd;
};

SignalShape signalShapeOf(const Dimensions& dims) {
    int nonSingleton = 0;
    bool beyondSecond = false;
    for (std::size_t d = 0; d < dims.size(); ++d) {
        if (dims[d] == 1) continue;
        ++nonSingleton;
        beyondSecond = beyondSecond || d >= 2;
    }
    if (nonSingleton <= 1 || (dims[0] == 0 && dims[1] == 0 && !beyondSecond)) {
        return {elementCount(dims), 1, false};
    }
    return {dims[0], dims[1], beyondSecond};
}

// Inputs past the fifth: name-value pairs when the sixth is text, else
// ignored. Every character array but an option name holds NULs here: no
// option has that name.
Verdict optionsVerdict(const std::vector<DecodedInput>& inputs) {
    const auto isText = [](const DecodedInput& input) {
        return input.kind->arrayClass == ArrayClass::Char || input.kind->arrayClass == ArrayClass::StringObject;
    };
    if (inputs.size() <= 5 || !isText(inputs[5])) return {"", nullptr};
    for (std::size_t at = 5; at < inputs.size(); at += 2) {
        const InputKind& name = *inputs[at].kind;
        if (name.arrayClass != ArrayClass::Char) return {"spectrogrid:optionNameNotText", nullptr};
        if (&name != &optionName) return {"spectrogrid:unknownOption", nullptr};
        if (at + 1 == inputs.size()) return {"spectrogrid:optionValueMissing", "Tolerance"};
        const DecodedInput& value = inputs[at + 1];
        if (!isAccepted(value.kind->arrayClass) || value.kind->sparse || value.kind->complex ||
            !value.backed || elementCount(value.dims) != 1) {
            return {"spectrogrid:toleranceNotRealScalar", "Tolerance"};
        }
        const double tol = value.real[0];
        if (tol != 0.0 && !(tol >= 1e-12 && tol <= 0.1)) return {"spectrogrid:toleranceOutOfRange", "Tolerance"};
    }
    return {"", nullptr};
}

// The tolerance of a call whose options passed: the last value given, 0
// when there are no options.
double toleranceOf(const std::vector<DecodedInput>& inputs) {
    if (inputs.size() <= 5 || inputs[5].kind->arrayClass != ArrayClass::Char) return 0.0;
    double tol = 0.0;
    for (std::size_t at = 5; at + 1 < inputs.size(); at += 2) tol = inputs[at + 1].real[0];
    return tol;
}

// The fault of one window (the reason after "spectrogrid:window"), or
// none: a non-empty real vector of a class the gateway reads.
std::string windowVerdict(const DecodedInput& window) {
    const std::size_t n = elementCount(window.dims);
    if (!isAccepted(window.kind->arrayClass) || window.kind->sparse || window.kind->complex) return "NotRealDouble";
    if (n > 2147483647u) return "TooLong";
    int nonSingleton = 0;
    for (std::size_t d : window.dims) nonSingleton += d != 1;
    if (n > 0 && nonSingleton > 1) return "NotVector";
    if (n == 0) return "Empty";
    return "";
}

// The frame length: the window's, or a cell's longest.
std::size_t longestWindow(const DecodedInput& window) {
    if (window.elements.empty()) return window.real.size();
    std::size_t longest = 0;
    for (const DecodedInput& element : window.elements) longest = std::max(longest, element.real.size());
    return longest;
}

// The checks of the error table in the README, in argument order.
Verdict expectedVerdict(const std::vector<DecodedInput>& inputs, int nlhs) {
    if (inputs.size() < 5) return {"spectrogrid:notEnoughInputs", nullptr};
    if (nlhs > 3) return {"spectrogrid:tooManyOutputs", nullptr};
    static const char* const names[] = {"signal", "window", "overlap", "frequencies", "sampleRate"};
    constexpr std::size_t maxCount = 2147483647u;
    for (int slot = 0; slot < 5; ++slot) {
        const DecodedInput& input = inputs[slot];
        const auto reject = [&](const char* reason) {
            return Verdict{std::string("spectrogrid:") + names[slot] + reason, names[slot]};
        };
        const std::size_t n = elementCount(input.dims);
        if (slot == 1 && input.kind->arrayClass == ArrayClass::Cell) {
            if (n == 0 || n > maxCount) return reject("Empty");
            // Each element is a window, named by its position; an element
            // the decoder left out reads as [].
            for (std::size_t k = 0; k < n; ++k) {
                static char name[32];
                std::snprintf(name, sizeof name, "window{%zu}", k + 1);
                if (k >= input.elements.size()) return Verdict{"spectrogrid:windowEmpty", name};
                const std::string element = windowVerdict(input.elements[k]);
                if (!element.empty()) return Verdict{"spectrogrid:window" + element, name};
            }
            continue;
        }
        if (slot == 1) {
            const std::string window = windowVerdict(input);
            if (!window.empty()) return reject(window.c_str());
            continue;
        }
        if (!isAccepted(input.kind->arrayClass) || input.kind->sparse) return reject("NotRealDouble");
        if (input.kind->complex && slot != 0) return reject("NotRealDouble");
        if (slot == 0) {
            const SignalShape shape = signalShapeOf(input.dims);
            if (shape.nd) return reject("NotVector");
            if (shape.samples > maxCount || shape.channels > maxCount) return reject("TooLong");
            continue;
        }
        if (slot == 2 || slot == 4) {
            if (n != 1) return reject("NotScalar");
            const double value = input.real[0];
            if (slot == 2) {
                const double span = static_cast<double>(longestWindow(inputs[1])) - value;
                if (!(span >= 1.0 && span < 2147483648.0)) return reject("OutOfRange");
            } else if (!(value > 0.0 && std::isfinite(value))) {
                return reject("NotPositive");
            }
            continue;
        }
        if (n > maxCount) return reject("TooLong");
        int nonSingleton = 0;
        for (std::size_t d : input.dims) nonSingleton += d != 1;
        if (n > 0 && nonSingleton > 1) return reject("NotVector");
        if (slot == 3 && !inputs[1].elements.empty() && inputs[1].elements.size() != 1 &&
            inputs[1].elements.size() != n) {
            return {"spectrogrid:windowCountMismatch", "window"};
        }
    }
    // K x M x P coefficients of 16 bytes each must be addressable.
    const SignalShape shape = signalShapeOf(inputs[0].dims);
    const reference::Plan plan = reference::plan(static_cast<std::int64_t>(shape.samples),
                                                 static_cast<std::int64_t>(longestWindow(inputs[1])), inputs[2].real[0]);
    const long double coefficients = static_cast<long double>(inputs[3].real.size()) * plan.frameCount * shape.channels;
    if (coefficients > static_cast<long double>(SIZE_MAX / 16)) return {"spectrogrid:resultTooLarge", nullptr};
    const Verdict options = optionsVerdict(inputs);
    if (!options.identifier.empty() || toleranceOf(inputs) == 0.0) return options;
    // Whether some method keeps the tolerance is the core's rule; the
    // gateway must apply it to what it read, before creating anything.
    double largest = 0.0;
    for (double f : inputs[3].real) {
        if (!(std::fabs(f) <= largest)) largest = std::fabs(f);
    }
    const std::size_t channels = inputs[0].kind->complex ? 2 * shape.channels : shape.channels;
    if (!spectrogrid::toleranceAttainable(static_cast<std::int32_t>(longestWindow(inputs[1])),
                                          static_cast<std::int32_t>(inputs[3].real.size()),
                                          static_cast<std::int32_t>(plan.frameCount),
                                          static_cast<std::int32_t>(channels), inputs[0].kind->complex,
                                          largest / inputs[4].real[0], inputs[1].elements.size() > 1,
                                          toleranceOf(inputs))) {
        return {"spectrogrid:toleranceUnattainable", nullptr};
    }
    return options;
}

std::uint64_t fingerprint(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ULL;
    return hash;
}

void describeCall(const std::vector<DecodedInput>& inputs, int nlhs) {
    std::fprintf(stderr, "call with %zu inputs, %d outputs:\n", inputs.size(), nlhs);
    for (const DecodedInput& input : inputs) {
        std::fprintf(stderr, "  %s%s", input.kind->name, input.backed ? "" : " (no data)");
        for (std::size_t i = 0; i < input.dims.size(); ++i) std::fprintf(stderr, "%s%zu", i ? "x" : " ", input.dims[i]);
        for (std::size_t i = 0; i < input.real.size() && i < 8; ++i) std::fprintf(stderr, " %a", input.real[i]);
        std::fprintf(stderr, "%s\n", input.real.size() > 8 ? " ..." : "");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes = {data, size, 0};
    const std::uint8_t counts = nextByte(&bytes);
    const int nrhs = counts % 8;
    const int nlhs = (counts / 8) % 5;
    std::vector<DecodedInput> inputs;
    for (int i = 0; i < nrhs; ++i) inputs.push_back(decodeInput(&bytes));

    ArrayPool pool;
    std::vector<mxArray*> arrays;
    for (const DecodedInput& input : inputs) arrays.push_back(makeArray(pool, input));
    const CallResult result = callModule(mexFunction, nlhs, arrays);

    const Verdict verdict = expectedVerdict(inputs, nlhs);
    if (verdict.identifier.empty()) {
        const SignalShape shape = signalShapeOf(inputs[0].dims);
        Case c;
        c.signal = inputs[0].real;
        c.channels = shape.channels;
        c.rows = shape.samples;
        c.complex = inputs[0].kind->complex;
        c.signalImag = inputs[0].imag;
        c.window = inputs[1].elements.empty() ? inputs[1].real : inputs[1].elements[0].real;
        if (inputs[1].elements.size() > 1) {
            for (const DecodedInput& element : inputs[1].elements) c.windows.push_back(element.real);
        }
        c.overlap = inputs[2].real[0];
        c.frequencies = inputs[3].real;
        c.sampleRate = inputs[4].real[0];
        // The fast mode ('Tolerance' > 0) has bits of its own, held to its
        // bound by the core's tests: here only its shapes are checked.
        const bool sampled = fingerprint(data, size) % 8 == 0 && toleranceOf(inputs) == 0.0;
        expectAnalysis(result, c, nlhs, sampled ? Compare::values : Compare::shapes);
    } else {
        expectRejected(result, verdict.identifier, verdict.argumentName);
    }
    if (checksFailed > 0) {
        describeCall(inputs, nlhs);
        std::abort();
    }
    return 0;
}
