// Fuzz target of the gateway (libFuzzer). Each input of the fuzzer is
// decoded into one call of mexFunction through the stand-in host: 0 to 7
// input arrays of every class and form the host has, in empty, scalar,
// vector, matrix, N-d and too-long shapes, holding extreme values, and 0 to 4
// outputs. Every call must either raise exactly the error the documented
// checks give, having created nothing, or return outputs of the documented
// shapes; the host must have reclaimed every array and seen no read of data
// the module may not read. One successful call in eight, chosen by the
// input, is also compared with the reference model bit for bit; its
// twiddles come from the core's own sine-cosine routine here (the
// sine-cosine tests hold it to MPFR), which keeps the comparison cheap. A
// failed check prints the call and aborts, which the fuzzer reports as a
// crash.
//
// The decoding reads one byte at a time and reads zeros past the end, so
// every input decodes. Layout:
//   byte 0             nrhs = b % 8, nlhs = (b / 8) % 5
//   per input          kind byte, shape byte, shape parameter bytes, then
//                      one value per element of each double plane
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
};
constexpr int kindCount = static_cast<int>(sizeof inputKinds / sizeof inputKinds[0]);

// Five in eight inputs are real doubles, the only kind the analysis takes.
const InputKind& decodeKind(Bytes* bytes) {
    const int b = nextByte(bytes);
    return b < 160 ? inputKinds[0] : inputKinds[1 + (b - 160) % (kindCount - 1)];
}

bool isRealDouble(const InputKind& kind) {
    return kind.arrayClass == ArrayClass::Double && !kind.complex && !kind.sparse;
}

// Longest vector decoded: keeps a call to microseconds.
constexpr std::size_t maxVectorLength = 32;

// Real double arrays longer than 2^31 - 1 elements, for which the host keeps
// no data: any read of them is a fault.
Dimensions tooLongShape(std::uint8_t b) {
    const std::size_t k = b / 8;
    switch (b % 6) {
        case 0: return {std::size_t{1} << 31, 1};
        case 1: return {1, (std::size_t{1} << 31) + k};
        case 2: return {65536, 32768 + k};
        case 3: return {1, 1, std::size_t{1} << 31};
        case 4: return {46341, 46341};
        default: return {1, (std::size_t{1} << 32) + 1 + k};
    }
}

Dimensions decodeShape(Bytes* bytes, const InputKind& kind, bool* backed) {
    const std::uint8_t shape = nextByte(bytes);
    const std::uint8_t p = nextByte(bytes);
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

// One byte picks a special value, a small integer (-64 to 127 less the
// specials), a multiple of 1/8 (-3.5 to 3.375), or the bits of the next
// eight bytes.
double decodeValue(Bytes* bytes) {
    const int b = nextByte(bytes);
    if (b < specialCount) return specialValues[b];
    if (b < 192) return static_cast<double>(b - 64);
    if (b < 248) return static_cast<double>(b - 220) / 8.0;
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(nextByte(bytes)) << (8 * i);
    return fromBits(bits);
}

// ---- one decoded input and the array made from it ------------------------

struct DecodedInput {
    const InputKind* kind;
    Dimensions dims;
    bool backed;
    std::vector<double> real, imag;  // double data in storage order
};

std::size_t elementCount(const Dimensions& dims) {
    std::size_t n = 1;
    for (std::size_t d : dims) n *= d;
    return n;
}

DecodedInput decodeInput(Bytes* bytes) {
    DecodedInput input;
    input.kind = &decodeKind(bytes);
    input.dims = decodeShape(bytes, *input.kind, &input.backed);
    if (input.backed && input.kind->arrayClass == ArrayClass::Double) {
        input.real.resize(elementCount(input.dims));
        for (double& v : input.real) v = decodeValue(bytes);
        if (input.kind->complex) {
            input.imag.resize(input.real.size());
            for (double& v : input.imag) v = decodeValue(bytes);
        }
    }
    return input;
}

mxArray* makeArray(ArrayPool& pool, const DecodedInput& input) {
    const InputKind& kind = *input.kind;
    if (!input.backed) return pool.unbacked(input.dims);
    if (kind.arrayClass != ArrayClass::Double) return pool.ofClass(kind.arrayClass, input.dims);
    mxArray* array = kind.complex  ? pool.complexDoubles(input.dims)
                     : kind.sparse ? pool.sparseDoubles(input.dims)
                                   : pool.doubles(input.dims, {});
    if (!input.real.empty()) std::memcpy(standin::realData(array), input.real.data(), input.real.size() * sizeof(double));
    if (!input.imag.empty()) std::memcpy(standin::imagData(array), input.imag.data(), input.imag.size() * sizeof(double));
    return array;
}

// ---- what the call must give ---------------------------------------------

struct Verdict {
    std::string identifier;  // empty: an analysis
    const char* argumentName;
};

// The checks of the error table in the README, in argument order.
Verdict expectedVerdict(const std::vector<DecodedInput>& inputs, int nlhs) {
    if (inputs.size() < 5) return {"spectrogrid:notEnoughInputs", nullptr};
    if (nlhs > 3) return {"spectrogrid:tooManyOutputs", nullptr};
    static const char* const names[] = {"signal", "window", "overlap", "frequencies", "sampleRate"};
    for (int slot = 0; slot < 5; ++slot) {
        const DecodedInput& input = inputs[slot];
        const auto reject = [&](const char* reason) {
            return Verdict{std::string("spectrogrid:") + names[slot] + reason, names[slot]};
        };
        const std::size_t n = elementCount(input.dims);
        if (!isRealDouble(*input.kind)) return reject("NotRealDouble");
        if (slot == 2 || slot == 4) {
            if (n != 1) return reject("NotScalar");
            const double value = input.real[0];
            if (slot == 2) {
                const double span = static_cast<double>(inputs[1].real.size()) - value;
                if (!(span >= 1.0 && span < 2147483648.0)) return reject("OutOfRange");
            } else if (!(value > 0.0 && std::isfinite(value))) {
                return reject("NotPositive");
            }
            continue;
        }
        if (n > 2147483647u) return reject("TooLong");
        int nonSingleton = 0;
        for (std::size_t d : input.dims) nonSingleton += d != 1;
        if (n > 0 && nonSingleton > 1) return reject("NotVector");
        if (slot == 1 && n == 0) return reject("Empty");
    }
    return {"", nullptr};
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
        Case c;
        c.signal = inputs[0].real;
        c.window = inputs[1].real;
        c.overlap = inputs[2].real[0];
        c.frequencies = inputs[3].real;
        c.sampleRate = inputs[4].real[0];
        const bool sampled = fingerprint(data, size) % 8 == 0;
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
