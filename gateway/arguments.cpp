// Validation of a call's arguments, shared by the MEX and the Octave
// gateways so that both accept and reject exactly the same calls with the
// same identifiers and messages.
#include "arguments.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace gateway {

namespace {

constexpr double hopLimit = 2147483648.0;

// The most coefficients a call may return: the complex result, and for a
// complex signal as much scratch again, must be addressable in this
// module's address space (16 bytes a coefficient).
constexpr std::uint64_t maxCoefficients = SIZE_MAX / 16;

// How an input is named in messages and error identifiers.
struct InputNames {
    const char* name;
    const char* notRealDouble;
    const char* badShape;
    const char* tooLong;
};

constexpr InputNames inputNames[inputCount] = {
    {"signal", "spectrogrid:signalNotRealDouble", "spectrogrid:signalNotVector",
     "spectrogrid:signalTooLong"},
    {"window", "spectrogrid:windowNotRealDouble", "spectrogrid:windowNotVector",
     "spectrogrid:windowTooLong"},
    {"overlap", "spectrogrid:overlapNotRealDouble", "spectrogrid:overlapNotScalar", nullptr},
    {"frequencies", "spectrogrid:frequenciesNotRealDouble", "spectrogrid:frequenciesNotVector",
     "spectrogrid:frequenciesTooLong"},
    {"sampleRate", "spectrogrid:sampleRateNotRealDouble", "spectrogrid:sampleRateNotScalar",
     nullptr},
};

constexpr Fault noFault = {nullptr, nullptr, {}};

Fault named(const char* identifier, const char* format, const char* name) {
    Fault f = {identifier, format, {}};
    std::snprintf(f.name, sizeof f.name, "%s", name);
    return f;
}

Fault fault(const char* identifier, const char* format, InputSlot slot) {
    return named(identifier, format, inputNames[slot].name);
}

// The class is checked before anything else is looked at: data of another
// class would be read wrongly, and sparse storage is not a sequence of
// samples. Only the signal may be complex. `name` is the input's name, or
// that of one window of a cell.
Fault checkNumericFull(const ArgumentView& view, InputSlot slot, const char* name) {
    const char* id = inputNames[slot].notRealDouble;
    if (view.elementClass == ElementClass::int64 || view.elementClass == ElementClass::uint64) {
        return named(id, "%s must be a double, single, or 8-, 16- or 32-bit integer array; int64 "
                         "and uint64 are not accepted, since not every 64-bit integer is exactly "
                         "a double (convert with double() where rounding is acceptable).", name);
    }
    if (!acceptedClass(view.elementClass)) {
        return named(id, "%s must be a numeric array: double, single, int8, uint8, int16, uint16, "
                         "int32 or uint32; logical, char, cell, struct, function handle and "
                         "object arrays hold no numbers to analyse (convert logical or char data "
                         "with double()).", name);
    }
    if (view.sparse) {
        return named(id, "%s must be a full array, not sparse; convert it with full().", name);
    }
    if (view.complex && slot != inSignal) {
        return named(id, "%s must be real; only signal may be complex.", name);
    }
    return noFault;
}

Fault checkNumericFull(const ArgumentView& view, InputSlot slot) {
    return checkNumericFull(view, slot, inputNames[slot].name);
}

// A window or frequency vector, counted by its number of elements in either
// orientation. An empty array counts as an empty vector, whatever its shape.
Fault checkVector(const ArgumentView& view, InputSlot slot, const char* name) {
    const Fault kind = checkNumericFull(view, slot, name);
    if (kind.identifier != nullptr) return kind;
    if (view.elements > maxLength) {
        return named(inputNames[slot].tooLong, "%s must have at most 2147483647 elements.", name);
    }
    if (view.elements != 0 && view.nonSingletonDimensions > 1) {
        return named(inputNames[slot].badShape,
                     "%s must be a vector (1-by-n or n-by-1), not a matrix or N-d array.", name);
    }
    return noFault;
}

Fault checkVector(const ArgumentView& view, InputSlot slot) {
    return checkVector(view, slot, inputNames[slot].name);
}

// One window: a non-empty vector, given alone or as element of a cell.
Fault checkOneWindow(const ArgumentView& view, const char* name, bool ofCell) {
    const Fault vector = checkVector(view, inWindow, name);
    if (vector.identifier != nullptr) return vector;
    if (view.elements == 0) {
        return named("spectrogrid:windowEmpty",
                     ofCell ? "%s must have at least one element: every window of a cell is a "
                              "non-empty vector."
                            : "%s must have at least one element: its length is the frame length.",
                     name);
    }
    return noFault;
}

// A window vector, or a cell array of them (one per frequency, or one for
// all), each checked under its own name: window{1}, window{2}, ...
Fault checkWindows(const ArgumentView& view) {
    if (view.elementClass != ElementClass::cell) return checkOneWindow(view, "window", false);
    if (view.sparse || view.elements == 0 || view.elements > maxLength) {
        return fault("spectrogrid:windowEmpty",
                     "%s must be a vector or a cell array holding one window per frequency (or "
                     "a single window); this cell holds no window, or more than 2147483647.",
                     inWindow);
    }
    for (std::uint64_t k = 0; k < view.elements; ++k) {
        char name[maxFaultName];
        std::snprintf(name, sizeof name, "window{%llu}", static_cast<unsigned long long>(k + 1));
        const Fault element = checkOneWindow(view.cellElement(view.cell, k), name, true);
        if (element.identifier != nullptr) return element;
    }
    return noFault;
}

bool isVector(const ArgumentView& view) {
    return view.nonSingletonDimensions <= 1 ||
           (view.rows == 0 && view.columns == 0 && !view.beyondSecond);
}

// A vector (one channel) or an N-by-P matrix (P channels), each count
// within 32 bits. Rows times columns must be the element count: a host
// interface whose dimensions cannot describe the array shows it otherwise.
Fault checkSignal(const ArgumentView& view) {
    const Fault kind = checkNumericFull(view, inSignal);
    if (kind.identifier != nullptr) return kind;
    const InputNames& names = inputNames[inSignal];
    if (isVector(view)) {
        if (view.elements > maxLength) {
            return fault(names.tooLong, "%s must have at most 2147483647 samples.", inSignal);
        }
        return noFault;
    }
    if (view.beyondSecond) {
        return fault(names.badShape,
                     "%s must be a vector or an N-by-P matrix (N samples of P channels), not an "
                     "N-d array.", inSignal);
    }
    if (view.rows > maxLength || view.columns > maxLength ||
        view.rows * view.columns != view.elements) {
        return fault(names.tooLong,
                     "%s must have at most 2147483647 samples per channel (rows) and at most "
                     "2147483647 channels (columns).", inSignal);
    }
    return noFault;
}

Fault checkScalar(const ArgumentView& view, InputSlot slot) {
    const Fault kind = checkNumericFull(view, slot);
    if (kind.identifier != nullptr) return kind;
    if (view.elements != 1) {
        return fault(inputNames[slot].badShape, "%s must be a scalar: exactly one element.", slot);
    }
    return noFault;
}

// K * M * P within maxCoefficients; each count is below 2^31.
bool resultAddressable(std::uint64_t K, std::uint64_t M, std::uint64_t P) {
    const std::uint64_t cells = K * M;
    return P == 0 || cells <= maxCoefficients / P;
}

template <typename T>
void convertElements(const void* data, std::int64_t step, std::uint64_t count, double* out) {
    const T* elements = static_cast<const T*>(data);
    const std::int64_t n = static_cast<std::int64_t>(count);
    for (std::int64_t i = 0; i < n; ++i) out[i] = static_cast<double>(elements[i * step]);
}

// The accepted classes are listed in the order of the core's sample types.
constexpr bool sameOrder(ElementClass c, spectrogrid::SampleType t) {
    return static_cast<int>(c) == static_cast<int>(t);
}
static_assert(sameOrder(ElementClass::float64, spectrogrid::SampleType::float64) &&
                  sameOrder(ElementClass::float32, spectrogrid::SampleType::float32) &&
                  sameOrder(ElementClass::int8, spectrogrid::SampleType::int8) &&
                  sameOrder(ElementClass::uint8, spectrogrid::SampleType::uint8) &&
                  sameOrder(ElementClass::int16, spectrogrid::SampleType::int16) &&
                  sameOrder(ElementClass::uint16, spectrogrid::SampleType::uint16) &&
                  sameOrder(ElementClass::int32, spectrogrid::SampleType::int32) &&
                  sameOrder(ElementClass::uint32, spectrogrid::SampleType::uint32),
              "ElementClass and SampleType list the accepted classes alike");

}  // namespace

bool acceptedClass(ElementClass elementClass) {
    return static_cast<int>(elementClass) <= static_cast<int>(ElementClass::uint32);
}

Fault checkArguments(int outputsRequested, int inputsGiven) {
    if (inputsGiven < inputCount) {
        return named("spectrogrid:notEnoughInputs", "You didn't specify all required arguments.", "");
    }
    if (outputsRequested > outputCount) {
        return named("spectrogrid:tooManyOutputs",
                     "spectrogrid returns at most three outputs: coefficients, frequencies and "
                     "times.",
                     "");
    }
    return noFault;
}

namespace {

// The five inputs, in argument order.
Fault checkInputs(const ArgumentView inputs[inputCount]) {
    const Fault signal = checkSignal(inputs[inSignal]);
    if (signal.identifier != nullptr) return signal;

    const Fault window = checkWindows(inputs[inWindow]);
    if (window.identifier != nullptr) return window;
    const std::uint64_t frameLength = longestWindow(inputs[inWindow]);

    const Fault overlap = checkScalar(inputs[inOverlap], inOverlap);
    if (overlap.identifier != nullptr) return overlap;
    // The same span the frame plan truncates to the hop.
    const double span = static_cast<double>(frameLength) - inputs[inOverlap].value;
    if (!(span >= 1.0 && span < hopLimit)) {
        return fault("spectrogrid:overlapOutOfRange",
                     "%s must be finite, at most length(window) - 1 and greater than "
                     "length(window) - 2^31, so that the hop trunc(length(window) - overlap) "
                     "lies in 1 .. 2147483647.",
                     inOverlap);
    }

    const Fault frequencies = checkVector(inputs[inFrequencies], inFrequencies);
    if (frequencies.identifier != nullptr) return frequencies;
    const std::uint64_t windows = windowCount(inputs[inWindow]);
    if (windows != 1 && windows != inputs[inFrequencies].elements) {
        return fault("spectrogrid:windowCountMismatch",
                     "%s, a cell array, must hold one window per frequency (as many as "
                     "frequencies has elements) or a single window for all.",
                     inWindow);
    }

    const Fault sampleRate = checkScalar(inputs[inSampleRate], inSampleRate);
    if (sampleRate.identifier != nullptr) return sampleRate;
    const double rate = inputs[inSampleRate].value;
    if (!(rate > 0.0 && std::isfinite(rate))) {
        return fault("spectrogrid:sampleRateNotPositive",
                     "%s must be finite and positive (samples per unit of time).", inSampleRate);
    }

    const SignalShape shape = signalShape(inputs[inSignal]);
    const spectrogrid::FramePlan plan =
        spectrogrid::planFrames(shape.samples, static_cast<std::int32_t>(frameLength),
                                inputs[inOverlap].value);
    if (!resultAddressable(inputs[inFrequencies].elements, static_cast<std::uint64_t>(plan.frameCount),
                           static_cast<std::uint64_t>(shape.channels))) {
        return named("spectrogrid:resultTooLarge",
                     "The coefficients (frequencies x frames x channels) would be more than this "
                     "platform can address; analyse fewer frequencies, frames or channels at a "
                     "time.",
                     "");
    }
    return noFault;
}

// ---- options ----------------------------------------------------------------

constexpr double smallestTolerance = 1e-12;
constexpr double largestTolerance = 0.1;

Fault readTolerance(const ArgumentView& value, const char* name, CallOptions* options) {
    if (!acceptedClass(value.elementClass) || value.sparse || value.complex ||
        value.elements != 1) {
        return named("spectrogrid:toleranceNotRealScalar",
                     "The value of option '%s' must be a real numeric scalar: the largest error "
                     "allowed, relative to the sum of |signal .* window| over a frame (for "
                     "example 'Tolerance', 1e-9; 0 for the exact mode).",
                     name);
    }
    const double tol = value.value;
    if (tol != 0.0 && !(tol >= smallestTolerance && tol <= largestTolerance)) {
        return named("spectrogrid:toleranceOutOfRange",
                     "The value of option '%s' must be 0 (the exact mode) or between 1e-12 and "
                     "0.1; NaN, negative values and values below 1e-12 other than 0 are not "
                     "accepted.",
                     name);
    }
    options->tolerance = tol;
    return noFault;
}

// The options a call takes, each with the reader of its value. An option is
// one more row.
struct OptionReader {
    const char* name;
    Fault (*read)(const ArgumentView& value, const char* name, CallOptions* options);
};

constexpr OptionReader optionReaders[] = {
    {"Tolerance", readTolerance},
};

bool sameTextIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

bool isText(const ArgumentView& view) {
    return view.elementClass == ElementClass::character ||
           view.elementClass == ElementClass::stringObject;
}

Fault checkOptions(const ExtraArguments& extra, CallOptions* options) {
    if (extra.count == 0 || !isText(extra.viewAt(extra.host, 0))) return noFault;
    for (int at = 0; at < extra.count; at += 2) {
        const ArgumentView name = extra.viewAt(extra.host, at);
        char position[maxFaultName];
        std::snprintf(position, sizeof position, "input %d", inputCount + at + 1);
        if (name.elementClass == ElementClass::stringObject) {
            return named("spectrogrid:optionNameNotText",
                         "Option names must be character arrays: %s is a string object, which "
                         "this interface cannot read; write the name in single quotes, for "
                         "example 'Tolerance'.",
                         position);
        }
        if (name.elementClass != ElementClass::character) {
            return named("spectrogrid:optionNameNotText",
                         "Options come as name-value pairs after the five inputs, each name a "
                         "character array: %s, where a name belongs, is not text (for example "
                         "'Tolerance', 1e-9).",
                         position);
        }
        const OptionReader* reader = nullptr;
        for (const OptionReader& r : optionReaders) {
            if (sameTextIgnoringCase(name.text, r.name)) reader = &r;
        }
        if (reader == nullptr || name.elements != std::char_traits<char>::length(name.text)) {
            return named("spectrogrid:unknownOption",
                         "Unknown option '%s'. spectrogrid takes the option 'Tolerance' (for "
                         "example spectrogrid(x, window, overlap, f, fs, 'Tolerance', 1e-9)).",
                         name.text);
        }
        if (at + 1 == extra.count) {
            return named("spectrogrid:optionValueMissing",
                         "Option '%s' has no value: give each option as a name followed by its "
                         "value, for example 'Tolerance', 1e-9.",
                         reader->name);
        }
        const Fault value = reader->read(extra.viewAt(extra.host, at + 1), reader->name, options);
        if (value.identifier != nullptr) return value;
    }
    return noFault;
}

}  // namespace

Fault checkCall(const ArgumentView inputs[inputCount], const ExtraArguments& extra,
                CallOptions* options) {
    const Fault five = checkInputs(inputs);
    if (five.identifier != nullptr) return five;
    *options = CallOptions();
    return checkOptions(extra, options);
}

Fault checkToleranceAttainable(const ArgumentView inputs[inputCount], const CallOptions& options) {
    if (options.tolerance == 0.0) return noFault;
    // The largest |frequency|, element by element in its own class.
    const ArgumentView& frequencies = inputs[inFrequencies];
    const std::int64_t bytes =
        spectrogrid::bytesPerSample(static_cast<spectrogrid::SampleType>(frequencies.elementClass));
    double largest = 0.0;
    for (std::uint64_t i = 0; i < frequencies.elements; ++i) {
        ArgumentView one = frequencies;
        one.elements = 1;
        one.real = static_cast<const char*>(frequencies.real) + static_cast<std::int64_t>(i) * frequencies.step * bytes;
        double value = 0.0;
        convertToDouble(one, &value);
        if (!(std::fabs(value) <= largest)) largest = std::fabs(value);
    }
    const SignalShape shape = signalShape(inputs[inSignal]);
    const std::int32_t L = static_cast<std::int32_t>(longestWindow(inputs[inWindow]));
    const spectrogrid::FramePlan plan = spectrogrid::planFrames(shape.samples, L, inputs[inOverlap].value);
    const bool complexSignal = inputs[inSignal].complex;
    const std::int32_t realChannels = complexSignal ? 2 * shape.channels : shape.channels;
    if (spectrogrid::toleranceAttainable(L, static_cast<std::int32_t>(frequencies.elements), plan.frameCount,
                                         realChannels, complexSignal, largest / inputs[inSampleRate].value,
                                         windowCount(inputs[inWindow]) > 1, options.tolerance)) {
        return noFault;
    }
    char given[maxFaultName];
    std::snprintf(given, sizeof given, "%.3g", options.tolerance);
    return named("spectrogrid:toleranceUnattainable",
                 "No method keeps a 'Tolerance' of %s for this call: no fast method reaches it "
                 "(they take windows of up to 2^23 samples), and the exact sums' own "
                 "rounding, up to about (1.5*L + 21*max(abs(f))*L/fs)*eps/2 of the sum of "
                 "|signal .* window| over a frame, may exceed it. Give a larger tolerance, or 0 "
                 "for the exact mode.",
                 given);
}

std::uint64_t windowCount(const ArgumentView& window) {
    return window.elementClass == ElementClass::cell ? window.elements : 1;
}

ArgumentView windowView(const ArgumentView& window, std::uint64_t k) {
    return window.elementClass == ElementClass::cell ? window.cellElement(window.cell, k) : window;
}

std::uint64_t longestWindow(const ArgumentView& window) {
    std::uint64_t longest = 0;
    const std::uint64_t count = windowCount(window);
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t length = windowView(window, k).elements;
        if (length > longest) longest = length;
    }
    return longest;
}

SignalShape signalShape(const ArgumentView& signal) {
    if (isVector(signal)) return {static_cast<std::int32_t>(signal.elements), 1};
    return {static_cast<std::int32_t>(signal.rows), static_cast<std::int32_t>(signal.columns)};
}

void convertToDouble(const ArgumentView& view, double* out) {
    const std::uint64_t n = view.elements;
    if (!acceptedClass(view.elementClass)) return;
    // The accepted classes are the core's sample types, in the same order.
    spectrogrid::withSampleType(static_cast<spectrogrid::SampleType>(view.elementClass), [&](auto element) {
        convertElements<decltype(element)>(view.real, view.step, n, out);
    });
}

spectrogrid::AnalysisInputs analysisInputs(const ArgumentView inputs[inputCount],
                                           const double* window, const double* frequencies) {
    const ArgumentView& signal = inputs[inSignal];
    const SignalShape shape = signalShape(signal);
    spectrogrid::AnalysisInputs in;
    in.signal = signal.real;
    in.signalLength = shape.samples;
    in.window = window;
    in.windowLength = static_cast<std::int32_t>(longestWindow(inputs[inWindow]));
    in.overlap = inputs[inOverlap].value;
    in.frequencies = frequencies;
    in.frequencyCount = static_cast<std::int32_t>(inputs[inFrequencies].elements);
    in.sampleRate = inputs[inSampleRate].value;
    in.signalType = static_cast<spectrogrid::SampleType>(static_cast<int>(signal.elementClass));
    in.signalImag = signal.complex ? signal.imag : nullptr;
    in.channelCount = shape.channels;
    in.sampleStep = signal.step;
    return in;
}

}  // namespace gateway
