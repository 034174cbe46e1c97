// The arguments of one call as every gateway sees them, whichever host they
// come from, and the one validation of them. A gateway describes each input
// array in an ArgumentView (class, form, shape, and the value of a real
// one-element numeric array), asks checkArguments and checkInputs for the
// first fault, reports it through its host with the identifier and the
// message (a format whose one %s is the input's name), and only then takes
// the inputs' elements (ArgumentView::real, imag, step) and creates
// anything. Nothing here calls a host or allocates.
#ifndef SPECTROGRID_GATEWAY_ARGUMENTS_H
#define SPECTROGRID_GATEWAY_ARGUMENTS_H

#include <cstdint>

#include "spectrogrid.h"

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
    int64, uint64, logical, character, cell, structure, functionHandle, other
};

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
};

// True for the classes whose arrays the gateways read.
bool acceptedClass(ElementClass elementClass);

// A rejected call: the error identifier and a message format whose one %s
// (if any) is the input's name. A null identifier means no fault.
struct Fault {
    const char* identifier;
    const char* format;
    const char* name;
};

// The number of inputs and outputs of a call.
Fault checkArguments(int outputsRequested, int inputsGiven);

// The five inputs, in argument order: the first fault found. Reads no
// elements: only the views' classes, forms, shapes and values.
Fault checkInputs(const ArgumentView inputs[inputCount]);

// Samples per channel (N) and channels (P) of a signal that passed
// checkInputs: a vector, or the empty 0-by-0 array, is one channel; an
// N-by-P matrix is P channels of N samples.
struct SignalShape {
    std::int32_t samples;
    std::int32_t channels;
};
SignalShape signalShape(const ArgumentView& signal);

// Writes the view's elements (real parts) as doubles, exactly.
void convertToDouble(const ArgumentView& view, double* out);

// The core's view of inputs that passed checkInputs, their elements
// attached, with the window and frequencies as doubles.
spectrogrid::AnalysisInputs analysisInputs(const ArgumentView inputs[inputCount],
                                           const double* window, const double* frequencies);

}  // namespace gateway

#endif
