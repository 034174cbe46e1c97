// The MEX entry point of spectrogrid: checks the arguments, creates every
// array of the call through the host and runs the analysis core on plain
// pointers into them.
//
// The host's error call does not return: it unwinds out of the module. So
// every check runs before the first array is created, and no object with a
// destructor is ever alive here.
//
// Ctrl-C: MATLAB notes it and answers utIsInterruptPending (in its libut)
// with true. The module looks that query up at run time in the libut the
// host has already loaded, and never links against libut, so its imports
// stay those of the host's array and error calls; where no libut is loaded
// (Octave, a host of our own) a call cannot be stopped. The core asks the
// query on this thread between pieces of a few milliseconds of work; once
// it has stopped, and its threads with it, the call ends through the error
// call with spectrogrid:interrupted, and the host reclaims every array the
// call created. MATLAB then acts on its pending Ctrl-C itself.
#include <cstdint>
#include <type_traits>

#if defined(SPECTROGRID_OCTAVE)
#include "mex_octave.h"
#else
#include "mex_matlab.h"
#endif

#include "arguments.h"
#include "spectrogrid_core.h"

#if defined(_WIN32)
#include <windows.h>
#elif !defined(SPECTROGRID_OCTAVE)
#include <dlfcn.h>
#endif

// mexFunction is the module's one export; everything else stays inside.
#if defined(_WIN32)
#define SPECTROGRID_EXPORT __declspec(dllexport)
#else
#define SPECTROGRID_EXPORT __attribute__((visibility("default")))
#endif

namespace {

using gateway::ArgumentView;
using gateway::ElementClass;
using gateway::Fault;

// A dimension as the host's interface counts it: int in MATLAB's, mwSize
// (64-bit) in Octave's.
using Extent = std::remove_const_t<std::remove_pointer_t<decltype(mxGetDimensions_700(nullptr))>>;

ElementClass elementClassOf(mxClassID classId) {
    switch (classId) {
        case mxDOUBLE_CLASS: return ElementClass::float64;
        case mxSINGLE_CLASS: return ElementClass::float32;
        case mxINT8_CLASS: return ElementClass::int8;
        case mxUINT8_CLASS: return ElementClass::uint8;
        case mxINT16_CLASS: return ElementClass::int16;
        case mxUINT16_CLASS: return ElementClass::uint16;
        case mxINT32_CLASS: return ElementClass::int32;
        case mxUINT32_CLASS: return ElementClass::uint32;
        case mxINT64_CLASS: return ElementClass::int64;
        case mxUINT64_CLASS: return ElementClass::uint64;
        case mxLOGICAL_CLASS: return ElementClass::logical;
        case mxCHAR_CLASS: return ElementClass::character;
        case mxCELL_CLASS: return ElementClass::cell;
        case mxSTRUCT_CLASS: return ElementClass::structure;
        case mxFUNCTION_CLASS: return ElementClass::functionHandle;
        default: return ElementClass::other;
    }
}

ElementClass elementClassOf(const mxArray* array) {
    const ElementClass elementClass = elementClassOf(mxGetClassID(array));
    if (elementClass == ElementClass::other && mxIsClass(array, "string")) {
        return ElementClass::stringObject;
    }
    return elementClass;
}

ArgumentView viewOf(const mxArray* array);

// An element of a cell array; one never set reads as [].
ArgumentView cellElementView(const void* cell, std::uint64_t index) {
    const mxArray* element =
        mxGetCell_700(static_cast<const mxArray*>(cell), static_cast<int>(index));
    if (element != nullptr) return viewOf(element);
    ArgumentView empty = {};
    empty.elementClass = ElementClass::float64;
    empty.nonSingletonDimensions = 2;
    empty.step = 1;
    return empty;
}

// An extent the interface cannot hold shows as negative: too long.
std::uint64_t extentOf(Extent extent) {
    return extent < 0 ? UINT64_MAX : static_cast<std::uint64_t>(extent);
}

// What validation needs to know of one input. The only element read is
// that of a real, full, one-element array of an accepted class (mxGetData
// is right for any numeric class, mxGetPr for doubles alone); the others
// are taken once every check has passed, since a rejected input may be of
// a class whose data would be misread, or longer than the module indexes.
ArgumentView viewOf(const mxArray* array) {
    ArgumentView view = {};
    view.elementClass = elementClassOf(array);
    view.complex = mxIsComplex(array);
    view.sparse = mxIsSparse(array);
    view.elements = mxGetNumberOfElements(array);
    const std::int64_t dimensionCount = mxGetNumberOfDimensions_700(array);
    const Extent* dimensions = mxGetDimensions_700(array);
    view.rows = extentOf(dimensions[0]);
    view.columns = extentOf(dimensions[1]);
    for (std::int64_t d = 0; d < dimensionCount; ++d) {
        if (dimensions[d] == 1) continue;
        ++view.nonSingletonDimensions;
        if (d >= 2) view.beyondSecond = true;
    }
    view.step = 1;
    if (view.elements == 1 && gateway::acceptedClass(view.elementClass) && !view.sparse &&
        !view.complex) {
        view.real = mxGetData(array);
        gateway::convertToDouble(view, &view.value);
    }
    if (view.elementClass == ElementClass::character) {
        // A longer text is cut, which is all validation needs of it.
        mxGetString_700(array, view.text, gateway::maxText);
    }
    if (view.elementClass == ElementClass::cell) {
        view.cell = array;
        view.cellElement = cellElementView;
    }
    return view;
}

// The inputs past the fifth, viewed as validation asks for them.
ArgumentView extraView(const void* host, int index) {
    return viewOf(static_cast<const mxArray* const*>(host)[index]);
}

void attachElements(const mxArray* array, ArgumentView* view) {
    view->real = mxGetData(array);
    view->imag = view->complex ? mxGetImagData(array) : nullptr;
}

mxArray* createRealColumn(std::int32_t rows) { return mxCreateDoubleMatrix_700(rows, 1, mxREAL); }

// The elements of a window or frequency vector as doubles: a double array's
// own, or a new column (*converted) holding them converted.
const double* doublesOf(const ArgumentView& view, mxArray** converted) {
    *converted = nullptr;
    if (view.elementClass == ElementClass::float64) return static_cast<const double*>(view.real);
    *converted = createRealColumn(static_cast<std::int32_t>(view.elements));
    double* values = mxGetPr(*converted);
    gateway::convertToDouble(view, values);
    return values;
}

// The windows of a cell holding one per frequency, as the core takes them:
// K pointers and K lengths, each list in a host array, pointing at each
// double window where the host keeps it and at a converted copy (a host
// column) of a window of another class.
struct WindowList {
    const double* const* windows;
    const std::int32_t* lengths;
};

WindowList windowsOf(const mxArray* cell, const ArgumentView& view) {
    const int count = static_cast<int>(gateway::windowCount(view));
    static_assert(sizeof(const double*) <= sizeof(double), "a double's room holds a pointer");
    const double** windows = reinterpret_cast<const double**>(mxGetPr(createRealColumn(count)));
    const Extent dimensions[2] = {count, 1};
    std::int32_t* lengths = static_cast<std::int32_t*>(
        mxGetData(mxCreateNumericArray_700(2, dimensions, mxINT32_CLASS, mxREAL)));
    for (int k = 0; k < count; ++k) {
        ArgumentView window = gateway::windowView(view, static_cast<std::uint64_t>(k));
        attachElements(mxGetCell_700(cell, k), &window);
        mxArray* converted;
        windows[k] = doublesOf(window, &converted);
        lengths[k] = static_cast<std::int32_t>(window.elements);
    }
    return {windows, lengths};
}

// K-by-M for one channel, K-by-M-by-P for any other number.
mxArray* createCoefficients(std::int32_t K, std::int32_t M, std::int32_t P) {
    if (P == 1) return mxCreateDoubleMatrix_700(K, M, mxCOMPLEX);
    const Extent dimensions[3] = {K, M, P};
    return mxCreateNumericArray_700(3, dimensions, mxDOUBLE_CLASS, mxCOMPLEX);
}

// The coefficients of a complex signal's imaginary part, interleaved: 2 x K
// x M x P doubles, each extent within the host's dimension type.
double* createImaginaryPart(std::int32_t K, std::int32_t M, std::int32_t P) {
    const Extent dimensions[4] = {2, K, M, P};
    return mxGetPr(mxCreateNumericArray_700(4, dimensions, mxDOUBLE_CLASS, mxREAL));
}

using InterruptQuery = bool (*)();

#if defined(SPECTROGRID_OCTAVE)
InterruptQuery hostInterruptQuery() { return nullptr; }
#elif defined(_WIN32)
InterruptQuery hostInterruptQuery() {
    HMODULE ut = GetModuleHandleW(L"libut.dll");
    if (ut == nullptr) return nullptr;
    return reinterpret_cast<InterruptQuery>(
        reinterpret_cast<void*>(GetProcAddress(ut, "utIsInterruptPending")));
}
#else
// The oldest versions of the dynamic-loading calls, which the C library of
// every Linux MATLAB runs on provides: the module asks no newer C library
// than it did without them.
#if defined(__x86_64__)
__asm__(".symver dlopen, dlopen@GLIBC_2.2.5");
__asm__(".symver dlsym, dlsym@GLIBC_2.2.5");
#elif defined(__aarch64__)
__asm__(".symver dlopen, dlopen@GLIBC_2.17");
__asm__(".symver dlsym, dlsym@GLIBC_2.17");
#endif
// RTLD_NOLOAD: only a libut already loaded; the reference it takes is kept,
// so the query stays valid for the life of the process.
InterruptQuery hostInterruptQuery() {
    void* ut = dlopen("libut.so", RTLD_LAZY | RTLD_NOLOAD);
    if (ut == nullptr) return nullptr;
    return reinterpret_cast<InterruptQuery>(dlsym(ut, "utIsInterruptPending"));
}
#endif

bool interruptPending(void* query) { return reinterpret_cast<InterruptQuery>(query)(); }

// The core's stop query: the host's interrupt query, or none.
spectrogrid::StopQuery stopQueryOf(InterruptQuery query) {
    spectrogrid::StopQuery stop;
    if (query != nullptr) {
        stop.requested = interruptPending;
        stop.context = reinterpret_cast<void*>(query);
    }
    return stop;
}

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
    const gateway::ExtraArguments extra = {nrhs - gateway::inputCount, prhs + gateway::inputCount,
                                           extraView};
    gateway::CallOptions options;
    const Fault inputFault = gateway::checkCall(views, extra, &options);
    if (inputFault.identifier != nullptr) {
        if (inputFault.name[0] != '\0') {
            mexErrMsgIdAndTxt(inputFault.identifier, inputFault.format, inputFault.name);
        } else {
            mexErrMsgIdAndTxt(inputFault.identifier, "%s", inputFault.format);
        }
        return;
    }
    // A cell of one window is that window; a cell of one per frequency is
    // read window by window below.
    const bool windowPerFrequency = gateway::windowCount(views[gateway::inWindow]) > 1;
    const mxArray* inputArrays[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) inputArrays[slot] = prhs[slot];
    if (views[gateway::inWindow].elementClass == ElementClass::cell && !windowPerFrequency) {
        inputArrays[gateway::inWindow] = mxGetCell_700(prhs[gateway::inWindow], 0);
        views[gateway::inWindow] = viewOf(inputArrays[gateway::inWindow]);
    }
    for (int slot = 0; slot < gateway::inputCount; ++slot) {
        if (slot != gateway::inWindow || !windowPerFrequency) attachElements(inputArrays[slot], &views[slot]);
    }
    const Fault toleranceFault = gateway::checkToleranceAttainable(views, options);
    if (toleranceFault.identifier != nullptr) {
        mexErrMsgIdAndTxt(toleranceFault.identifier, toleranceFault.format, toleranceFault.name);
        return;
    }

    const gateway::SignalShape shape = gateway::signalShape(views[gateway::inSignal]);
    const std::int32_t K = static_cast<std::int32_t>(views[gateway::inFrequencies].elements);
    const std::int32_t L = static_cast<std::int32_t>(gateway::longestWindow(views[gateway::inWindow]));
    const std::int32_t P = shape.channels;
    const spectrogrid::FramePlan plan =
        spectrogrid::planFrames(shape.samples, L, views[gateway::inOverlap].value);

    // The signal is read where the host keeps it, in its own class; the
    // windows and frequencies are short, and converted when not double.
    mxArray* convertedWindow = nullptr;
    mxArray* convertedFrequencies;
    const double* frequencies = doublesOf(views[gateway::inFrequencies], &convertedFrequencies);
    WindowList windows = {nullptr, nullptr};
    const double* window = nullptr;
    if (windowPerFrequency) {
        windows = windowsOf(prhs[gateway::inWindow], views[gateway::inWindow]);
        window = windows.windows[0];
    } else {
        window = doublesOf(views[gateway::inWindow], &convertedWindow);
    }
    spectrogrid::AnalysisInputs inputs = gateway::analysisInputs(views, window, frequencies);
    inputs.windows = windows.windows;
    inputs.windowLengths = windows.lengths;

    // Every array of the call comes from the host; the host reclaims those
    // not handed back when the call returns.
    mxArray* coefficients = createCoefficients(K, plan.frameCount, P);
    mxArray* times = createRealColumn(plan.frameCount);
    spectrogrid::ScratchTables tables;
    tables.angularSteps = mxGetPr(createRealColumn(L));
    tables.cosTable = mxGetPr(createRealColumn(L));
    tables.sinTable = mxGetPr(createRealColumn(L));
    const bool complexSignal = views[gateway::inSignal].complex;
    tables.imaginaryPart = spectrogrid::imaginaryPartLength(K, plan.frameCount, P, complexSignal) > 0
                               ? createImaginaryPart(K, plan.frameCount, P)
                               : nullptr;

    // The workspace of the path the core will take: the fast mode's (FFT
    // buffers of the threads and per-call tables, with the blocked kernels'
    // own for its direct path and a cell's exact groups; 0 doubles when the
    // exact path runs), else the blocked kernels' (a few MiB whatever the
    // sizes).
    // Both fit a 32-bit dimension but for a fast call of over 2^31 - 1
    // doubles (about 10^8 frequencies), which runs on the exact path.
    const std::int64_t fastLength = spectrogrid::toleranceWorkspaceLength(inputs, plan, options.tolerance);
    double* fastWorkspace = nullptr;
    tables.workspace = nullptr;
    if (fastLength > 0 && fastLength <= INT32_MAX) {
        fastWorkspace = mxGetPr(createRealColumn(static_cast<std::int32_t>(fastLength)));
    } else {
        const std::int64_t workspace = spectrogrid::workspaceLength(inputs, plan.frameCount);
        if (workspace > 0) tables.workspace = mxGetPr(createRealColumn(static_cast<std::int32_t>(workspace)));
    }

    const spectrogrid::CoefficientPlanes planes = {mxGetPr(coefficients), mxGetPi(coefficients)};
    // Fresh from the host and written whole by the call.
    const std::int64_t planeBytes = std::int64_t{K} * plan.frameCount * P * 8;
    spectrogrid::prepareOutput(planes.real, planeBytes);
    spectrogrid::prepareOutput(planes.imag, planeBytes);
    spectrogrid::prepareOutput(tables.imaginaryPart, 2 * planeBytes);
    const spectrogrid::CallOutcome outcome = spectrogrid::computeCoefficientsWithin(
        inputs, plan, tables, planes, mxGetPr(times), options.tolerance, fastWorkspace,
        stopQueryOf(hostInterruptQuery()));
    if (outcome == spectrogrid::CallOutcome::stopped) {
        mexErrMsgIdAndTxt("spectrogrid:interrupted", "%s", "spectrogrid was interrupted (Ctrl-C).");
        return;
    }

    plhs[gateway::outCoefficients] = coefficients;
    if (nlhs > gateway::outFrequencies) {
        // The converted column is already the K-by-1 double copy to return.
        mxArray* copy = convertedFrequencies;
        if (copy == nullptr) {
            copy = createRealColumn(K);
            double* values = mxGetPr(copy);
            for (std::int32_t k = 0; k < K; ++k) values[k] = frequencies[k];
        }
        plhs[gateway::outFrequencies] = copy;
    }
    if (nlhs > gateway::outTimes) plhs[gateway::outTimes] = times;
}
