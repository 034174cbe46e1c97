// The arguments of one call as every gateway sees them, whichever host they
// come from, and the one validation of them. A gateway describes each input
// array in an ArgumentView (class, form, shape, and the data of a real,
// full double array), asks checkArguments and checkInputs for the first
// fault, reports it through its host with the identifier and the message
// (a format whose one %s is the input's name), and only then creates
// anything. Nothing here calls a host or allocates.
#ifndef SPECTROGRID_GATEWAY_ARGUMENTS_H
#define SPECTROGRID_GATEWAY_ARGUMENTS_H

#include <cstdint>

#include "spectrogrid.h"

namespace gateway {

enum InputSlot { inSignal, inWindow, inOverlap, inFrequencies, inSampleRate, inputCount };
enum OutputSlot { outCoefficients, outFrequencies, outTimes, outputCount };

// The most elements a vector input may have: lengths are 32-bit signed
// counts in the core.
constexpr std::uint64_t maxLength = 2147483647;

// Storage classes the hosts have.
enum class ElementClass { float64, other };

struct ArgumentView {
    ElementClass elementClass;
    bool complex;
    bool sparse;
    std::uint64_t elements;
    int nonSingletonDimensions;  // dimensions whose extent is not 1
    const double* real;          // the elements of a real, full double array of at most
                                 // maxLength elements, else null
};

// A rejected call: the error identifier and a message format whose one %s
// (if any) is the input's name. A null identifier means no fault.
struct Fault {
    const char* identifier;
    const char* format;
    const char* name;
};

// The number of inputs and outputs of a call.
Fault checkArguments(int outputsRequested, int inputsGiven);

// The five inputs, in argument order: the first fault found. Reads data
// only from inputs already known to be real, full doubles.
Fault checkInputs(const ArgumentView inputs[inputCount]);

// The core's view of inputs that passed checkInputs.
spectrogrid::AnalysisInputs analysisInputs(const ArgumentView inputs[inputCount]);

}  // namespace gateway

#endif
