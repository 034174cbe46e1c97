// Validation of a call's arguments, shared by the MEX and the Octave
// gateways so that both accept and reject exactly the same calls with the
// same identifiers and messages.
#include "arguments.h"

#include <cmath>

namespace gateway {

namespace {

constexpr double hopLimit = 2147483648.0;

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

constexpr Fault noFault = {nullptr, nullptr, nullptr};

Fault fault(const char* identifier, const char* format, InputSlot slot) {
    return Fault{identifier, format, inputNames[slot].name};
}

// Data of anything but a real, full double array would be read wrongly or
// lose its imaginary part, so the class is checked before any data.
Fault checkRealFullDouble(const ArgumentView& view, InputSlot slot) {
    const char* id = inputNames[slot].notRealDouble;
    if (view.elementClass != ElementClass::float64) {
        return fault(id, "%s must be a double array (single, integer, logical, char, cell and "
                         "struct arrays are not accepted); convert it with double().", slot);
    }
    if (view.sparse) {
        return fault(id, "%s must be a full double array, not sparse; convert it with full().",
                     slot);
    }
    if (view.complex) {
        return fault(id, "%s must be real; complex values are not supported.", slot);
    }
    return noFault;
}

// A vector input, counted by its number of elements in either orientation.
// An empty array counts as an empty vector, whatever its shape.
Fault checkVector(const ArgumentView& view, InputSlot slot) {
    const Fault kind = checkRealFullDouble(view, slot);
    if (kind.identifier != nullptr) return kind;
    if (view.elements > maxLength) {
        return fault(inputNames[slot].tooLong, "%s must have at most 2147483647 elements.", slot);
    }
    if (view.elements != 0 && view.nonSingletonDimensions > 1) {
        return fault(inputNames[slot].badShape,
                     "%s must be a vector (1-by-n or n-by-1), not a matrix or N-d array.", slot);
    }
    return noFault;
}

Fault checkScalar(const ArgumentView& view, InputSlot slot) {
    const Fault kind = checkRealFullDouble(view, slot);
    if (kind.identifier != nullptr) return kind;
    if (view.elements != 1) {
        return fault(inputNames[slot].badShape, "%s must be a scalar: exactly one element.", slot);
    }
    return noFault;
}

}  // namespace

Fault checkArguments(int outputsRequested, int inputsGiven) {
    if (inputsGiven < inputCount) {
        return Fault{"spectrogrid:notEnoughInputs", "You didn't specify all required arguments.",
                     nullptr};
    }
    if (outputsRequested > outputCount) {
        return Fault{"spectrogrid:tooManyOutputs",
                     "spectrogrid returns at most three outputs: coefficients, frequencies and "
                     "times.",
                     nullptr};
    }
    return noFault;
}

Fault checkInputs(const ArgumentView inputs[inputCount]) {
    const Fault signal = checkVector(inputs[inSignal], inSignal);
    if (signal.identifier != nullptr) return signal;

    const Fault window = checkVector(inputs[inWindow], inWindow);
    if (window.identifier != nullptr) return window;
    if (inputs[inWindow].elements == 0) {
        return fault("spectrogrid:windowEmpty",
                     "%s must have at least one element: its length is the frame length.",
                     inWindow);
    }

    const Fault overlap = checkScalar(inputs[inOverlap], inOverlap);
    if (overlap.identifier != nullptr) return overlap;
    // The same span the frame plan truncates to the hop.
    const double span = static_cast<double>(inputs[inWindow].elements) - inputs[inOverlap].real[0];
    if (!(span >= 1.0 && span < hopLimit)) {
        return fault("spectrogrid:overlapOutOfRange",
                     "%s must be finite, at most length(window) - 1 and greater than "
                     "length(window) - 2^31, so that the hop trunc(length(window) - overlap) "
                     "lies in 1 .. 2147483647.",
                     inOverlap);
    }

    const Fault frequencies = checkVector(inputs[inFrequencies], inFrequencies);
    if (frequencies.identifier != nullptr) return frequencies;

    const Fault sampleRate = checkScalar(inputs[inSampleRate], inSampleRate);
    if (sampleRate.identifier != nullptr) return sampleRate;
    const double rate = inputs[inSampleRate].real[0];
    if (!(rate > 0.0 && std::isfinite(rate))) {
        return fault("spectrogrid:sampleRateNotPositive",
                     "%s must be finite and positive (samples per unit of time).", inSampleRate);
    }
    return noFault;
}

spectrogrid::AnalysisInputs analysisInputs(const ArgumentView inputs[inputCount]) {
    spectrogrid::AnalysisInputs in;
    in.signal = inputs[inSignal].real;
    in.signalLength = static_cast<std::int32_t>(inputs[inSignal].elements);
    in.window = inputs[inWindow].real;
    in.windowLength = static_cast<std::int32_t>(inputs[inWindow].elements);
    in.overlap = inputs[inOverlap].real[0];
    in.frequencies = inputs[inFrequencies].real;
    in.frequencyCount = static_cast<std::int32_t>(inputs[inFrequencies].elements);
    in.sampleRate = inputs[inSampleRate].real[0];
    return in;
}

}  // namespace gateway
