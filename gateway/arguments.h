// The arguments of one call as every gateway sees them, whichever host they
// come from, and the one validation of them. A gateway describes each input
// array in an ArgumentView (class, form, shape, the value of a real
// one-element numeric array, the text of a character array, and how to
// reach the elements of a cell array), asks checkArguments and checkCall
// for the first fault, reports it through its host with the identifier and
// the message (a format whose one %s is the name the fault carries), and
// only then takes the inputs' elements (ArgumentView::real, imag, step) and
// creates anything. Nothing here calls a host or allocates.
//
// A call is five inputs, then optionally name-value pairs: when the sixth
// input is text, every input from the sixth on is a pair (an option's name,
// matched without regard to case, then its value; the last occurrence of a
// name wins); when it is not text, inputs past the fifth are ignored, as
// they always were. The window is a vector, or a cell array of vectors: one
// window per frequency, or a single one for all.
#ifndef SPECTROGRID_GATEWAY_ARGUMENTS_H
#define SPECTROGRID_GATEWAY_ARGUMENTS_H

#include <cstdint>

#include "spectrogrid_core.h"

namespace gateway {

enum InputSlot { inSignal, inWindow, inOverlap, inFrequencies, inSampleRate, inputCount };
enum OutputSlot { outCoefficients, outFrequencies, outTimes, outputCount };

// The most elements a window or frequency vector may have, and the most
// samples per channel and channels a signal may have: they are 32-bit
// signed counts in the core.
constexpr std::uint64_t maxLength = 2147483647;

// Storage classes the hosts have. The first eight are accepted: every value
// of theirs is exactly a double.
enum class ElementClass {
    float64, float32, int8, uint8, int16, uint16, int32, uint32,
    int64, uint64, logical, character, cell, structure, functionHandle,
    stringObject,  // MATLAB's string class, whose text the C interface cannot read
    other
};

// The longest text of a character array the gateway shows validation, with
// its terminating NUL: option names are short, so a longer text is shown
// cut, and matches no name.
constexpr int maxText = 64;

struct ArgumentView;

// How validation reaches the elements of a cell array, through the gateway
// that described it: the view of element `index` (column-major order).
using CellElementView = ArgumentView (*)(const void* cell, std::uint64_t index);

struct ArgumentView {
    ElementClass elementClass;
    bool complex;
    bool sparse;
    std::uint64_t elements;
    std::uint64_t rows;     // extent of the first dimension
    std::uint64_t columns;  // extent of the second dimension
    bool beyondSecond;      // some dimension beyond the second is not 1
    int nonSingletonDimensions;  // dimensions whose extent is not 1
    double value;  // a real, full, one-element array of an accepted class: its
                   // element as a double; else unused
    // Set by the gateway once checkInputs has passed: the elements (real
    // parts) and, for a complex array, the imaginary parts, `step` elements
    // apart, in the storage of elementClass.
    const void* real;
    const void* imag;
    std::int64_t step;
    // A character array: its characters (the first maxText - 1 of them),
    // NUL-terminated. Empty for any other class.
    char text[maxText];
    // A cell array: the gateway's handle on it and its element accessor.
    const void* cell;
    CellElementView cellElement;
};

// Options a call may carry after its five inputs.
struct CallOptions {
    double tolerance = 0.0;  // 'Tolerance': 0 is the exact mode
};

// True for the classes whose arrays the gateways read.
bool acceptedClass(ElementClass elementClass);

// A rejected call: the error identifier and a message format whose one %s
// (if any) is `name`: the input's name, "window{k}" for one window of a
// cell, or the option's name as given. A null identifier means no fault.
constexpr int maxFaultName = maxText + 16;
struct Fault {
    const char* identifier;
    const char* format;
    char name[maxFaultName];  // empty when the message names nothing
};

// The inputs of a call past the fifth, as the gateway shows them: a view of
// each on demand, so that no call needs room for however many it is given.
struct ExtraArguments {
    int count;
    const void* host;  // the gateway's handle on its inputs
    ArgumentView (*viewAt)(const void* host, int index);  // index 0 is the sixth input
};

// The number of inputs and outputs of a call.
Fault checkArguments(int outputsRequested, int inputsGiven);

// The whole call, in argument order: the five inputs, then the options
// (filled into *options, which starts at its defaults). The first fault
// found. Reads no elements: only the views' classes, forms, shapes, values
// and texts.
Fault checkCall(const ArgumentView inputs[inputCount], const ExtraArguments& extra,
                CallOptions* options);

// For a call that passed checkCall, its elements attached: whether its
// tolerance can be kept (spectrogrid::toleranceAttainable); a fault to
// report before anything is created where it cannot.
Fault checkToleranceAttainable(const ArgumentView inputs[inputCount], const CallOptions& options);

// The windows of a window input that passed checkCall: one for a vector,
// the elements of a cell; the view of window k; and the longest length, the
// frame length L of the call.
std::uint64_t windowCount(const ArgumentView& window);
ArgumentView windowView(const ArgumentView& window, std::uint64_t k);
std::uint64_t longestWindow(const ArgumentView& window);

// Samples per channel (N) and channels (P) of a signal that passed
// checkCall: a vector, or the empty 0-by-0 array, is one channel; an
// N-by-P matrix is P channels of N samples.
struct SignalShape {
    std::int32_t samples;
    std::int32_t channels;
};
SignalShape signalShape(const ArgumentView& signal);

// Writes the view's elements (real parts) as doubles, exactly.
void convertToDouble(const ArgumentView& view, double* out);

// The core's view of inputs that passed checkCall, their elements
// attached, with the window and frequencies as doubles.
spectrogrid::AnalysisInputs analysisInputs(const ArgumentView inputs[inputCount],
                                           const double* window, const double* frequencies);

}  // namespace gateway

#endif
