// The MEX entry point of spectrogrid: checks the arguments, creates every
// array of the call through the host and runs the analysis core on plain
// pointers into them.
//
// The host's error call does not return: it unwinds out of the module. So
// every check runs before the first array is created, and no object with a
// destructor is ever alive here.
#include <cmath>
#include <cstddef>
#include <cstdint>

#if defined(SPECTROGRID_OCTAVE)
#include "mex_octave.h"
#else
#include "mex_matlab.h"
#endif

#include "spectrogrid.h"

// mexFunction is the module's one export; everything else stays inside.
#if defined(_WIN32)
#define SPECTROGRID_EXPORT __declspec(dllexport)
#else
#define SPECTROGRID_EXPORT __attribute__((visibility("default")))
#endif

namespace {

enum InputSlot { inSignal, inWindow, inOverlap, inFrequencies, inSampleRate, inputCount };
enum OutputSlot { outCoefficients, outFrequencies, outTimes, outputCount };

// Lengths are 32-bit signed counts in the core.
constexpr std::size_t maxLength = 2147483647;
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

// A rejected input: the error identifier and a message format whose one %s
// is the input's name. A null identifier means no fault.
struct Fault {
    const char* identifier;
    const char* format;
    const char* name;
};

constexpr Fault noFault = {nullptr, nullptr, nullptr};

Fault fault(const char* identifier, const char* format, InputSlot slot) {
    return Fault{identifier, format, inputNames[slot].name};
}

// mxGetPr of anything but a real, full double array reads the wrong memory
// or drops the imaginary part, so the class is checked before any data.
Fault checkRealFullDouble(const mxArray* array, InputSlot slot) {
    const char* id = inputNames[slot].notRealDouble;
    if (!mxIsDouble(array)) {
        return fault(id, "%s must be a double array (single, integer, logical, char, cell and "
                         "struct arrays are not accepted); convert it with double().", slot);
    }
    if (mxIsSparse(array)) {
        return fault(id, "%s must be a full double array, not sparse; convert it with full().",
                     slot);
    }
    if (mxIsComplex(array)) {
        return fault(id, "%s must be real; complex values are not supported.", slot);
    }
    return noFault;
}

// At most one dimension differs from 1. An empty array counts as an empty
// vector, whatever its shape.
bool isVector(const mxArray* array) {
    if (mxGetNumberOfElements(array) == 0) return true;
    const std::int64_t dimensionCount = mxGetNumberOfDimensions_700(array);
    const auto* dimensions = mxGetDimensions_700(array);  // int in MATLAB, int64 in Octave
    int nonSingleton = 0;
    for (std::int64_t d = 0; d < dimensionCount; ++d) {
        if (dimensions[d] != 1) ++nonSingleton;
    }
    return nonSingleton <= 1;
}

// A vector input, counted by its number of elements in either orientation.
Fault checkVector(const mxArray* array, InputSlot slot) {
    const Fault kind = checkRealFullDouble(array, slot);
    if (kind.identifier != nullptr) return kind;
    if (mxGetNumberOfElements(array) > maxLength) {
        return fault(inputNames[slot].tooLong, "%s must have at most 2147483647 elements.", slot);
    }
    if (!isVector(array)) {
        return fault(inputNames[slot].badShape,
                     "%s must be a vector (1-by-n or n-by-1), not a matrix or N-d array.", slot);
    }
    return noFault;
}

Fault checkScalar(const mxArray* array, InputSlot slot) {
    const Fault kind = checkRealFullDouble(array, slot);
    if (kind.identifier != nullptr) return kind;
    if (mxGetNumberOfElements(array) != 1) {
        return fault(inputNames[slot].badShape, "%s must be a scalar: exactly one element.", slot);
    }
    return noFault;
}

std::int32_t lengthOf(const mxArray* array) {
    return static_cast<std::int32_t>(mxGetNumberOfElements(array));
}

// The whole validation of the five inputs, in argument order. Reads data only
// from inputs already known to be real, full doubles.
Fault checkInputs(const mxArray* const prhs[]) {
    const Fault signal = checkVector(prhs[inSignal], inSignal);
    if (signal.identifier != nullptr) return signal;

    const Fault window = checkVector(prhs[inWindow], inWindow);
    if (window.identifier != nullptr) return window;
    if (mxGetNumberOfElements(prhs[inWindow]) == 0) {
        return fault("spectrogrid:windowEmpty",
                     "%s must have at least one element: its length is the frame length.",
                     inWindow);
    }

    const Fault overlap = checkScalar(prhs[inOverlap], inOverlap);
    if (overlap.identifier != nullptr) return overlap;
    // The same span the frame plan truncates to the hop.
    const double span = static_cast<double>(lengthOf(prhs[inWindow])) - mxGetPr(prhs[inOverlap])[0];
    if (!(span >= 1.0 && span < hopLimit)) {
        return fault("spectrogrid:overlapOutOfRange",
                     "%s must be finite, at most length(window) - 1 and greater than "
                     "length(window) - 2^31, so that the hop trunc(length(window) - overlap) "
                     "lies in 1 .. 2147483647.",
                     inOverlap);
    }

    const Fault frequencies = checkVector(prhs[inFrequencies], inFrequencies);
    if (frequencies.identifier != nullptr) return frequencies;

    const Fault sampleRate = checkScalar(prhs[inSampleRate], inSampleRate);
    if (sampleRate.identifier != nullptr) return sampleRate;
    const double rate = mxGetPr(prhs[inSampleRate])[0];
    if (!(rate > 0.0 && std::isfinite(rate))) {
        return fault("spectrogrid:sampleRateNotPositive",
                     "%s must be finite and positive (samples per unit of time).", inSampleRate);
    }
    return noFault;
}

spectrogrid::AnalysisInputs readInputs(const mxArray* const prhs[]) {
    spectrogrid::AnalysisInputs inputs;
    inputs.signal = mxGetPr(prhs[inSignal]);
    inputs.signalLength = lengthOf(prhs[inSignal]);
    inputs.window = mxGetPr(prhs[inWindow]);
    inputs.windowLength = lengthOf(prhs[inWindow]);
    inputs.overlap = mxGetPr(prhs[inOverlap])[0];
    inputs.frequencies = mxGetPr(prhs[inFrequencies]);
    inputs.frequencyCount = lengthOf(prhs[inFrequencies]);
    inputs.sampleRate = mxGetPr(prhs[inSampleRate])[0];
    return inputs;
}

mxArray* createRealColumn(std::int32_t rows) { return mxCreateDoubleMatrix_700(rows, 1, mxREAL); }

}  // namespace

extern "C" SPECTROGRID_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    if (nrhs < inputCount) {
        mexErrMsgIdAndTxt("spectrogrid:notEnoughInputs", "You didn't specify all required arguments.");
        return;
    }
    if (nlhs > outputCount) {
        mexErrMsgIdAndTxt("spectrogrid:tooManyOutputs",
                          "spectrogrid returns at most three outputs: coefficients, frequencies "
                          "and times.");
        return;
    }
    spectrogrid::setAnalysisThreads();

    const Fault inputFault = checkInputs(prhs);
    if (inputFault.identifier != nullptr) {
        mexErrMsgIdAndTxt(inputFault.identifier, inputFault.format, inputFault.name);
        return;
    }

    const spectrogrid::AnalysisInputs inputs = readInputs(prhs);
    const spectrogrid::FramePlan plan =
        spectrogrid::planFrames(inputs.signalLength, inputs.windowLength, inputs.overlap);
    const std::int32_t K = inputs.frequencyCount;
    const std::int32_t L = inputs.windowLength;

    // Every array of the call comes from the host; the host reclaims those
    // not handed back when the call returns.
    mxArray* coefficients = mxCreateDoubleMatrix_700(K, plan.frameCount, mxCOMPLEX);
    mxArray* times = createRealColumn(plan.frameCount);
    spectrogrid::ScratchTables tables;
    tables.angularSteps = mxGetPr(createRealColumn(L));
    tables.cosTable = mxGetPr(createRealColumn(L));
    tables.sinTable = mxGetPr(createRealColumn(L));
    // Bounded by a few MiB whatever the sizes, so it fits a 32-bit dimension.
    const std::int64_t workspace = spectrogrid::workspaceLength(L, K, plan.frameCount);
    tables.workspace =
        workspace > 0 ? mxGetPr(createRealColumn(static_cast<std::int32_t>(workspace))) : nullptr;

    const spectrogrid::CoefficientPlanes planes = {mxGetPr(coefficients), mxGetPi(coefficients)};
    spectrogrid::computeCoefficients(inputs, plan, tables, planes, mxGetPr(times));

    plhs[outCoefficients] = coefficients;
    if (nlhs > outFrequencies) {
        mxArray* frequencies = createRealColumn(K);
        double* copy = mxGetPr(frequencies);
        for (std::int32_t k = 0; k < K; ++k) copy[k] = inputs.frequencies[k];
        plhs[outFrequencies] = frequencies;
    }
    if (nlhs > outTimes) plhs[outTimes] = times;
}
