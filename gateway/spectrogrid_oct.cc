// The native GNU Octave entry point of spectrogrid: the same validation,
// identifiers and messages as the MEX gateway (arguments.h), but the
// coefficients are written straight into the interleaved complex array
// Octave returns, with no conversion copy of the host's own, and the signal
// is read where Octave keeps it, in its own class (complex arrays
// interleaved).
//
// Octave reports errors by throwing from error_with_id; its arrays release
// their memory as that unwinds. Every check still runs before the first
// output array is created.
//
// Ctrl-C: Octave's signal handler only notes the signal; octave_quit, run
// on this thread, acts on it, by throwing interrupt_exception for an
// interrupt. The core asks the stop query below on this thread between
// pieces of a few milliseconds of work; the query runs octave_quit and
// keeps what it threw, since nothing may be thrown through the core's
// parallel regions. Once the core has returned (its threads stopped), the
// kept exception is thrown again here: the arrays of the call unwind and
// Octave ends the command as for any interrupt, and the session goes on.
#include <octave/oct.h>
#include <octave/quit.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "arguments.h"
#include "spectrogrid_core.h"
#include "spectrogrid_help.h"

namespace {

using gateway::ArgumentView;
using gateway::ElementClass;
using gateway::Fault;

ElementClass elementClassOf(builtin_type_t type) {
    switch (type) {
        case btyp_double: case btyp_complex: return ElementClass::float64;
        case btyp_float: case btyp_float_complex: return ElementClass::float32;
        case btyp_int8: return ElementClass::int8;
        case btyp_uint8: return ElementClass::uint8;
        case btyp_int16: return ElementClass::int16;
        case btyp_uint16: return ElementClass::uint16;
        case btyp_int32: return ElementClass::int32;
        case btyp_uint32: return ElementClass::uint32;
        case btyp_int64: return ElementClass::int64;
        case btyp_uint64: return ElementClass::uint64;
        case btyp_bool: return ElementClass::logical;
        case btyp_char: return ElementClass::character;
        case btyp_cell: return ElementClass::cell;
        case btyp_struct: return ElementClass::structure;
        case btyp_func_handle: return ElementClass::functionHandle;
        default: return ElementClass::other;
    }
}

ArgumentView viewOf(const octave_value& value);

// An element of a cell array.
ArgumentView cellElementView(const void* cell, std::uint64_t index) {
    const Cell elements = static_cast<const octave_value*>(cell)->cell_value();
    ArgumentView view = viewOf(elements(static_cast<octave_idx_type>(index)));
    // A cell within the cell is rejected, never walked: its value here is
    // a temporary.
    view.cell = nullptr;
    view.cellElement = nullptr;
    return view;
}

// What validation needs to know of one input, with the value of a real,
// full, one-element array of an accepted class, the text of a character
// array, and the elements of a cell.
ArgumentView viewOf(const octave_value& value) {
    ArgumentView view = {};
    view.elementClass = elementClassOf(value.builtin_type());
    view.complex = value.iscomplex();
    view.sparse = value.issparse();
    view.elements = static_cast<std::uint64_t>(value.numel());
    const dim_vector dimensions = value.dims();
    view.rows = static_cast<std::uint64_t>(dimensions(0));
    view.columns = static_cast<std::uint64_t>(dimensions(1));
    for (int d = 0; d < dimensions.ndims(); ++d) {
        if (dimensions(d) == 1) continue;
        ++view.nonSingletonDimensions;
        if (d >= 2) view.beyondSecond = true;
    }
    view.step = 1;
    if (view.elements == 1 && gateway::acceptedClass(view.elementClass) && !view.sparse &&
        !view.complex) {
        view.value = value.double_value();
    }
    if (view.elementClass == ElementClass::character) {
        // A longer text is cut, which is all validation needs of it.
        const charNDArray characters = value.char_array_value();
        const octave_idx_type n = std::min<octave_idx_type>(characters.numel(), gateway::maxText - 1);
        for (octave_idx_type i = 0; i < n; ++i) view.text[i] = characters(i);
        view.text[n] = '\0';
    }
    if (view.elementClass == ElementClass::cell) {
        view.cell = &value;
        view.cellElement = cellElementView;
    }
    return view;
}

// The inputs past the fifth, viewed as validation asks for them.
ArgumentView extraView(const void* host, int index) {
    return viewOf((*static_cast<const octave_value_list*>(host))(gateway::inputCount + index));
}

// The host arrays whose elements a call reads, kept alive for the call:
// each accessor shares the value's storage (a range is expanded).
struct Elements {
    NDArray float64;
    ComplexNDArray complex64;
    FloatNDArray float32;
    FloatComplexNDArray complex32;
    int8NDArray int8;
    uint8NDArray uint8;
    int16NDArray int16;
    uint16NDArray uint16;
    int32NDArray int32;
    uint32NDArray uint32;
};

template <typename Array>
const void* keep(Array& holder, const Array& array) {
    holder = array;
    return holder.data();
}

// Octave stores complex arrays interleaved (real, imaginary, real, ...).
// Its integer element types hold just the integer.
void attachElements(const octave_value& value, Elements& kept, ArgumentView* view) {
    const void* data = nullptr;
    std::size_t elementBytes = 0;
    switch (view->elementClass) {
        case ElementClass::float64:
            data = view->complex ? keep(kept.complex64, value.complex_array_value())
                                 : keep(kept.float64, value.array_value());
            elementBytes = sizeof(double);
            break;
        case ElementClass::float32:
            data = view->complex ? keep(kept.complex32, value.float_complex_array_value())
                                 : keep(kept.float32, value.float_array_value());
            elementBytes = sizeof(float);
            break;
        case ElementClass::int8: data = keep(kept.int8, value.int8_array_value()); break;
        case ElementClass::uint8: data = keep(kept.uint8, value.uint8_array_value()); break;
        case ElementClass::int16: data = keep(kept.int16, value.int16_array_value()); break;
        case ElementClass::uint16: data = keep(kept.uint16, value.uint16_array_value()); break;
        case ElementClass::int32: data = keep(kept.int32, value.int32_array_value()); break;
        case ElementClass::uint32: data = keep(kept.uint32, value.uint32_array_value()); break;
        default: break;
    }
    view->real = data;
    if (view->complex) {
        view->step = 2;
        // An empty array has no first imaginary part to point at.
        view->imag = view->elements > 0 ? static_cast<const char*>(data) + elementBytes : nullptr;
    }
}

static_assert(sizeof(octave_int8) == 1 && sizeof(octave_uint16) == 2 && sizeof(octave_int32) == 4,
              "Octave's integers are stored as the plain integers the core reads");

// The elements of a window or frequency vector as doubles: a double array's
// own, or `converted` holding them converted.
const double* doublesOf(const ArgumentView& view, ColumnVector& converted) {
    if (view.elementClass == ElementClass::float64) return static_cast<const double*>(view.real);
    converted.resize(static_cast<octave_idx_type>(view.elements));
    gateway::convertToDouble(view, converted.fortran_vec());
    return converted.data();
}

// The stop query: whatever octave_quit threw (the interrupt, or the error
// of another signal's handling) is kept in *context and stops the call.
bool hostInterrupt(void* context) {
    try {
        octave_quit();
    } catch (...) {
        *static_cast<std::exception_ptr*>(context) = std::current_exception();
        return true;
    }
    return false;
}

void raise(const Fault& fault) {
    if (fault.name[0] != '\0') {
        error_with_id(fault.identifier, fault.format, fault.name);
    } else {
        error_with_id(fault.identifier, "%s", fault.format);
    }
}

}  // namespace

DEFUN_DLD(spectrogrid, args, nargout, spectrogridHelpText) {
    const Fault countFault = gateway::checkArguments(nargout, args.length());
    if (countFault.identifier != nullptr) raise(countFault);
    spectrogrid::setAnalysisThreads();

    // The inputs stay alive in args for the whole call: the views of cells
    // point at them.
    ArgumentView views[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) views[slot] = viewOf(args(slot));
    const gateway::ExtraArguments extra = {static_cast<int>(args.length()) - gateway::inputCount, &args,
                                           extraView};
    gateway::CallOptions options;
    const Fault inputFault = gateway::checkCall(views, extra, &options);
    if (inputFault.identifier != nullptr) raise(inputFault);
    // A cell of one window is that window; a cell of one per frequency is
    // read window by window below.
    const bool windowPerFrequency = gateway::windowCount(views[gateway::inWindow]) > 1;
    octave_value inputValues[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) inputValues[slot] = args(slot);
    if (args(gateway::inWindow).iscell() && !windowPerFrequency) {
        inputValues[gateway::inWindow] = args(gateway::inWindow).cell_value()(0);
        views[gateway::inWindow] = viewOf(inputValues[gateway::inWindow]);
    }
    Elements kept[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) {
        if (slot != gateway::inWindow || !windowPerFrequency) {
            attachElements(inputValues[slot], kept[slot], &views[slot]);
        }
    }
    const Fault toleranceFault = gateway::checkToleranceAttainable(views, options);
    if (toleranceFault.identifier != nullptr) raise(toleranceFault);

    ColumnVector convertedWindow, convertedFrequencies;
    const double* frequencies = doublesOf(views[gateway::inFrequencies], convertedFrequencies);
    // One window per frequency: each as doubles (Octave's own array for a
    // double one, a converted copy otherwise), with the lists of pointers
    // and lengths the core takes.
    const std::size_t windowCount = windowPerFrequency ? gateway::windowCount(views[gateway::inWindow]) : 0;
    std::vector<NDArray> windowArrays(windowCount);
    std::vector<const double*> windowPointers(windowCount);
    std::vector<std::int32_t> windowLengths(windowCount);
    if (windowPerFrequency) {
        const Cell elements = args(gateway::inWindow).cell_value();
        for (std::size_t k = 0; k < windowCount; ++k) {
            windowArrays[k] = elements(static_cast<octave_idx_type>(k)).array_value();
            windowPointers[k] = windowArrays[k].data();
            windowLengths[k] = static_cast<std::int32_t>(windowArrays[k].numel());
        }
    }
    const double* window = windowPerFrequency ? windowPointers[0]
                                              : doublesOf(views[gateway::inWindow], convertedWindow);
    spectrogrid::AnalysisInputs inputs = gateway::analysisInputs(views, window, frequencies);
    if (windowPerFrequency) {
        inputs.windows = windowPointers.data();
        inputs.windowLengths = windowLengths.data();
    }
    const spectrogrid::FramePlan plan =
        spectrogrid::planFrames(inputs.signalLength, inputs.windowLength, inputs.overlap);
    const std::int32_t K = inputs.frequencyCount;
    const std::int32_t L = inputs.windowLength;
    const std::int32_t P = inputs.channelCount;

    // The coefficient array, K-by-M for one channel and K-by-M-by-P for any
    // other number, takes over storage the kernels fill: a ComplexNDArray of
    // this size would first be set to zero, element by element on this
    // thread, only to be overwritten.
    const dim_vector shape =
        P == 1 ? dim_vector(K, plan.frameCount) : dim_vector(K, plan.frameCount, P);
    const octave_idx_type cells = static_cast<octave_idx_type>(K) * plan.frameCount * P;
    Complex* storage = std::allocator<Complex>().allocate(static_cast<std::size_t>(cells));
    const ComplexNDArray coefficients(Array<Complex>(storage, shape));
    ColumnVector times(plan.frameCount);
    ColumnVector angularSteps(L), cosTable(L), sinTable(L);
    // The workspace of the path the core will take: the fast mode's (0
    // doubles when the exact path runs; every double it reads it writes
    // first, so it is not set to zero: megabytes for a long window), else
    // the blocked kernels'.
    const std::int64_t fastLength = spectrogrid::toleranceWorkspaceLength(inputs, plan, options.tolerance);
    const std::unique_ptr<double[]> fastWorkspace(
        fastLength > 0 ? new double[static_cast<std::size_t>(fastLength)] : nullptr);
    ColumnVector workspace(fastLength > 0 ? 0 : spectrogrid::workspaceLength(inputs, plan.frameCount));
    // The coefficients of a complex signal's imaginary part, as large as the
    // result and overwritten whole: not set to zero first either.
    const std::int64_t imaginaryLength =
        spectrogrid::imaginaryPartLength(K, plan.frameCount, P, inputs.signalImag != nullptr);
    const std::unique_ptr<double[]> imaginaryPart(
        imaginaryLength > 0 ? new double[static_cast<std::size_t>(imaginaryLength)] : nullptr);
    const spectrogrid::ScratchTables tables = {
        angularSteps.fortran_vec(), cosTable.fortran_vec(), sinTable.fortran_vec(),
        workspace.numel() > 0 ? workspace.fortran_vec() : nullptr, imaginaryPart.get()};
    // std::complex<double> is laid out as its real part, then its imaginary part.
    double* interleaved = reinterpret_cast<double*>(storage);
    const spectrogrid::CoefficientPlanes planes = {interleaved, interleaved + 1, 2};
    spectrogrid::prepareOutput(storage, static_cast<std::int64_t>(cells) * 16);
    spectrogrid::prepareOutput(imaginaryPart.get(), imaginaryLength * 8);
    spectrogrid::prepareOutput(fastWorkspace.get(), fastLength * 8);
    std::exception_ptr interrupt;
    const spectrogrid::CallOutcome outcome = spectrogrid::computeCoefficientsWithin(
        inputs, plan, tables, planes, times.fortran_vec(), options.tolerance,
        fastWorkspace.get(), {hostInterrupt, &interrupt});
    if (outcome == spectrogrid::CallOutcome::stopped) std::rethrow_exception(interrupt);

    octave_value_list outputs;
    outputs(gateway::outCoefficients) = coefficients;
    if (nargout > gateway::outFrequencies) {
        ColumnVector copy(K);
        for (std::int32_t k = 0; k < K; ++k) copy(k) = frequencies[k];
        outputs(gateway::outFrequencies) = copy;
    }
    if (nargout > gateway::outTimes) outputs(gateway::outTimes) = times;
    return outputs;
}

/*
Self-tests of the Octave package, in which this file is src/spectrogrid.cc:
"pkg install" extracts the lines below into spectrogrid.cc-tst beside the
module, and "test spectrogrid" or "pkg test spectrogrid" runs them.

%!test
%! ## The worked example: frames [1 2] and [3 4], at 0 Hz and at the
%! ## Nyquist frequency; sin(pi) is correctly rounded.
%! [C, F, T] = spectrogrid ([1 2 3 4], [1 1], 0, [0 1], 2);
%! assert (real (C), [3 7; -1 -1]);
%! assert (imag (C), [0 0; -2.4492935982947064e-16 -4.898587196589413e-16]);
%! assert (F, [0; 1]);
%! assert (T, [0.5; 1.5]);

%!test
%! ## A random call against the defining sum in plain Octave: frequencies
%! ## unsorted, repeated, negative and above the sample rate, a fractional
%! ## overlap. Each coefficient is within a few rounding errors of the sum.
%! randn ("state", 7);
%! x = randn (1000, 1);
%! w = randn (61, 1);
%! f = [440; -13.5; 0; 2e4; 440; 3e3];
%! C = spectrogrid (x, w, 20.5, f, 8000);
%! starts = 0:40:numel (x) - numel (w);
%! frames = x((1:numel (w))' + starts) .* w;
%! plain = exp (-2i * pi * f * (0:numel (w) - 1) / 8000) * frames;
%! assert (size (C), [numel(f), numel(starts)]);
%! assert (abs (C - plain) <= 1e-12 * sum (abs (frames)));

%!test
%! ## The help names the version the package was installed as.
%! info = pkg ("list", "spectrogrid");
%! assert (numel (info), 1);
%! assert (! isempty (strfind (get_help_text ("spectrogrid"), ["Version " info{1}.version " ("])));

%!error id=spectrogrid:notEnoughInputs spectrogrid (1:4, [1 1], 0, 1)
%!error id=spectrogrid:tooManyOutputs [a, b, c, d] = spectrogrid (1:4, [1 1], 0, 1, 2)
%!test
%! ## A complex exponential at -1 kHz shows at -1 kHz only; an int16 stereo
%! ## pair gives each channel's coefficients as a page.
%! fs = 8000;
%! x = exp (-2i * pi * 1000 * (0:1023)' / fs);
%! C = spectrogrid (x, ones (256, 1), 128, [-1000; 1000], fs);
%! assert (abs (C(1, :)), 256 * ones (1, columns (C)), 1e-9);
%! assert (abs (C(2, :)) < 1e-9);
%! s = int16 ([1:600; 600:-1:1]');
%! w = 0.5 - 0.5 * cos (2 * pi * (0:63)' / 64);
%! P = spectrogrid (s, w, 32, [50; 400], fs);
%! assert (P(:, :, 2), spectrogrid (double (s(:, 2)), w, 32, [50; 400], fs));
%!test
%! ## A window for each frequency: equal windows give the plain call's bits;
%! ## constant-Q windows resolve a low tone from its neighbours.
%! x = sin (2 * pi * 110 * (0:7999)' / 8000);
%! w = 0.5 - 0.5 * cos (2 * pi * (0:255)' / 256);
%! f = [110 220 440];
%! assert (spectrogrid (x, {w, w, w}, 128, f, 8000), spectrogrid (x, w, 128, f, 8000));
%! [cq, L] = spectrogridcqwindows (f, 8000, "Q", 8);
%! C = spectrogrid (x, cq, max (L) - 128, f, 8000);
%! assert (rows (C), 3);
%! assert (abs (C(1, 10)) > 100 * abs (C(3, 10)));
%!error id=spectrogrid:signalNotRealDouble spectrogrid (int64 (1:4), [1 1], 0, 1, 2)
%!error id=spectrogrid:windowNotRealDouble spectrogrid (1:4, [1i 1], 0, 1, 2)
%!error id=spectrogrid:windowEmpty spectrogrid (1:4, [], 0, 1, 2)
%!error id=spectrogrid:overlapOutOfRange spectrogrid (1:4, [1 1], 2, 1, 2)
%!error id=spectrogrid:sampleRateNotPositive spectrogrid (1:4, [1 1], 0, 1, 0)
*/
