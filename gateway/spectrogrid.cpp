// The MEX entry point of spectrogrid: checks the arguments, creates every
// array of the call through the host and runs the analysis core on plain
// pointers into them.
//
// The host's error call does not return: it unwinds out of the module. So
// every check runs before the first array is created, and no object with a
// destructor is ever alive here.
#include <cstdint>

#if defined(SPECTROGRID_OCTAVE)
#include "mex_octave.h"
#else
#include "mex_matlab.h"
#endif

#include "arguments.h"
#include "spectrogrid.h"

#if defined(SPECTROGRID_PIN_MODULE)
#include <windows.h>
#endif

// mexFunction is the module's one export; everything else stays inside.
#if defined(_WIN32)
#define SPECTROGRID_EXPORT __declspec(dllexport)
#else
#define SPECTROGRID_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using gateway::ArgumentView;
using gateway::Fault;

// What validation needs to know of one input. Data is taken only from a
// real, full double array short enough for the core: anything else read
// through mxGetPr would be misread, and a longer one is rejected unread.
ArgumentView viewOf(const mxArray* array) {
    ArgumentView view;
    view.elementClass = mxIsDouble(array) ? gateway::ElementClass::float64 : gateway::ElementClass::other;
    view.complex = mxIsComplex(array);
    view.sparse = mxIsSparse(array);
    view.elements = mxGetNumberOfElements(array);
    const std::int64_t dimensionCount = mxGetNumberOfDimensions_700(array);
    const auto* dimensions = mxGetDimensions_700(array);  // int in MATLAB, int64 in Octave
    view.nonSingletonDimensions = 0;
    for (std::int64_t d = 0; d < dimensionCount; ++d) {
        if (dimensions[d] != 1) ++view.nonSingletonDimensions;
    }
    const bool readable = view.elementClass == gateway::ElementClass::float64 && !view.complex &&
                          !view.sparse && view.elements <= gateway::maxLength;
    view.real = readable ? mxGetPr(array) : nullptr;
    return view;
}

mxArray* createRealColumn(std::int32_t rows) { return mxCreateDoubleMatrix_700(rows, 1, mxREAL); }

#if defined(SPECTROGRID_PIN_MODULE)
// The OpenMP runtime linked into this module parks its worker threads
// between calls. Were the host to unload the module (clear mex), they would
// wake in unmapped code: the module stays loaded for the life of the process.
void pinModule() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&pinModule), &self);
}
#else
void pinModule() {}
#endif

}  // namespace

extern "C" SPECTROGRID_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    const Fault countFault = gateway::checkArguments(nlhs, nrhs);
    if (countFault.identifier != nullptr) {
        mexErrMsgIdAndTxt(countFault.identifier, countFault.format);
        return;
    }
    pinModule();
    spectrogrid::setAnalysisThreads();

    ArgumentView views[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) views[slot] = viewOf(prhs[slot]);
    const Fault inputFault = gateway::checkInputs(views);
    if (inputFault.identifier != nullptr) {
        mexErrMsgIdAndTxt(inputFault.identifier, inputFault.format, inputFault.name);
        return;
    }

    const spectrogrid::AnalysisInputs inputs = gateway::analysisInputs(views);
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

    plhs[gateway::outCoefficients] = coefficients;
    if (nlhs > gateway::outFrequencies) {
        mxArray* frequencies = createRealColumn(K);
        double* copy = mxGetPr(frequencies);
        for (std::int32_t k = 0; k < K; ++k) copy[k] = inputs.frequencies[k];
        plhs[gateway::outFrequencies] = frequencies;
    }
    if (nlhs > gateway::outTimes) plhs[gateway::outTimes] = times;
}
