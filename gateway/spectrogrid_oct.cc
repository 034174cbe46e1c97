// The native GNU Octave entry point of spectrogrid: the same validation,
// identifiers and messages as the MEX gateway (arguments.h), but the
// coefficients are written straight into the interleaved complex matrix
// Octave returns, with no conversion copy of the host's own.
//
// Octave reports errors by throwing from error_with_id; its arrays release
// their memory as that unwinds. Every check still runs before the first
// output array is created.
#include <octave/oct.h>

#include <cstdint>
#include <memory>

#include "arguments.h"
#include "spectrogrid.h"
#include "spectrogrid_help.h"

namespace {

using gateway::ArgumentView;
using gateway::Fault;

// What validation needs to know of one input. `values` keeps the elements
// of a real, full double array (a range, say, is expanded into it) alive
// for the call.
ArgumentView viewOf(const octave_value& value, NDArray& values) {
    ArgumentView view;
    view.elementClass = value.is_double_type() ? gateway::ElementClass::float64 : gateway::ElementClass::other;
    view.complex = value.iscomplex();
    view.sparse = value.issparse();
    view.elements = static_cast<std::uint64_t>(value.numel());
    const dim_vector dimensions = value.dims();
    view.nonSingletonDimensions = 0;
    for (int d = 0; d < dimensions.ndims(); ++d) {
        if (dimensions(d) != 1) ++view.nonSingletonDimensions;
    }
    view.real = nullptr;
    if (view.elementClass == gateway::ElementClass::float64 && !view.complex && !view.sparse &&
        view.elements <= gateway::maxLength) {
        values = value.array_value();
        view.real = values.data();
    }
    return view;
}

void raise(const Fault& fault) {
    if (fault.name != nullptr) {
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

    NDArray values[gateway::inputCount];
    ArgumentView views[gateway::inputCount];
    for (int slot = 0; slot < gateway::inputCount; ++slot) views[slot] = viewOf(args(slot), values[slot]);
    const Fault inputFault = gateway::checkInputs(views);
    if (inputFault.identifier != nullptr) raise(inputFault);

    const spectrogrid::AnalysisInputs inputs = gateway::analysisInputs(views);
    const spectrogrid::FramePlan plan =
        spectrogrid::planFrames(inputs.signalLength, inputs.windowLength, inputs.overlap);
    const std::int32_t K = inputs.frequencyCount;
    const std::int32_t L = inputs.windowLength;

    // The coefficient matrix takes over storage the kernels fill: a
    // ComplexMatrix of this size would first be set to zero, element by
    // element on this thread, only to be overwritten.
    const octave_idx_type cells = static_cast<octave_idx_type>(K) * plan.frameCount;
    Complex* storage = std::allocator<Complex>().allocate(static_cast<std::size_t>(cells));
    const ComplexNDArray coefficients(Array<Complex>(storage, dim_vector(K, plan.frameCount)));
    ColumnVector times(plan.frameCount);
    ColumnVector angularSteps(L), cosTable(L), sinTable(L);
    ColumnVector workspace(spectrogrid::workspaceLength(L, K, plan.frameCount));
    const spectrogrid::ScratchTables tables = {
        angularSteps.fortran_vec(), cosTable.fortran_vec(), sinTable.fortran_vec(),
        workspace.numel() > 0 ? workspace.fortran_vec() : nullptr};
    // std::complex<double> is laid out as its real part, then its imaginary part.
    double* interleaved = reinterpret_cast<double*>(storage);
    const spectrogrid::CoefficientPlanes planes = {interleaved, interleaved + 1, 2};
    spectrogrid::computeCoefficients(inputs, plan, tables, planes, times.fortran_vec());

    octave_value_list outputs;
    outputs(gateway::outCoefficients) = coefficients;
    if (nargout > gateway::outFrequencies) {
        ColumnVector frequencies(K);
        for (std::int32_t k = 0; k < K; ++k) frequencies(k) = inputs.frequencies[k];
        outputs(gateway::outFrequencies) = frequencies;
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
%!error id=spectrogrid:signalNotRealDouble spectrogrid (single (1:4), [1 1], 0, 1, 2)
%!error id=spectrogrid:windowEmpty spectrogrid (1:4, [], 0, 1, 2)
%!error id=spectrogrid:overlapOutOfRange spectrogrid (1:4, [1 1], 2, 1, 2)
%!error id=spectrogrid:sampleRateNotPositive spectrogrid (1:4, [1 1], 0, 1, 0)
*/
