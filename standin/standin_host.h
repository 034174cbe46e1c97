// The host side of the stand-in MATLAB libraries: what the test host uses to
// build input arrays, run a call the way MATLAB does and look at what the
// module handed back. The module itself sees only the MEX functions declared
// in gateway/mex_matlab.h, which libmx and libmex implement with real
// behaviour: arrays own their memory, the error call does not return.
#ifndef SPECTROGRID_TESTS_HOST_STANDIN_HOST_H
#define SPECTROGRID_TESTS_HOST_STANDIN_HOST_H

#include <csetjmp>
#include <cstddef>

#include "mex_matlab.h"

namespace standin {

enum class ArrayClass {
    Double, Single, Int8, Uint8, Int16, Uint16, Int32, Uint32, Int64, Uint64,
    Logical, Char, Cell, Struct, FunctionHandle,
    StringObject  // MATLAB's string class: an object, whose text mxGetString cannot read
};

// What the error call throws. It unwinds through the module's frames back to
// the host, as MATLAB's error call does.
struct HostError {
    char identifier[128];
    char message[1024];
};

#if defined(_WIN32)
// On Windows every module carries its own static copy of the GCC runtime,
// and an exception thrown by one copy cannot always be caught through
// another: there the error call jumps back to the point the host set with
// setErrorTarget (longjmp, which on 64-bit Windows unwinds the module's
// frames with their unwind tables), never returning to the module either.
void setErrorTarget(std::jmp_buf* target);
const HostError& raisedError();
void raiseWithJump(const HostError& error);
#endif

// An input array of any class and shape, owned by the host. Its data is
// zero; a complex array has an imaginary plane of the same class.
mxArray* createArray(ArrayClass arrayClass, std::size_t dimensionCount,
                     const std::size_t* dimensions, bool complex, bool sparse);

// Stores `value`, which the array's numeric class must hold exactly, as
// element `index` of its real or imaginary plane.
void storeValue(mxArray* array, std::size_t index, bool imaginary, double value);

// Stores text as the characters of a character array of as many elements.
void storeText(mxArray* array, const char* text);

// Makes `element` (an array the caller keeps alive) element `index` of a
// cell array; elements never set read as null.
void storeCellElement(mxArray* array, std::size_t index, mxArray* element);

// A real double array of this shape with no storage behind it, for lengths
// the test machine cannot hold. Reading its data is a fault of the module.
mxArray* createUnbackedArray(std::size_t dimensionCount, const std::size_t* dimensions);

void destroyArray(mxArray* array);

double* realData(const mxArray* array);  // the planes of a double array
double* imagData(const mxArray* array);  // null for a real array
std::size_t dimensionCount(const mxArray* array);
const std::size_t* dimensions(const mxArray* array);
bool isComplex(const mxArray* array);

// A double array that the module creates starts with this bit pattern in
// every element, so an element the module never writes shows up.
constexpr unsigned long long unwrittenBits = 0x7ff4deadbeef0001ULL;

struct CreatedShape {
    int rows;
    int columns;
    std::size_t pages;  // the product of the extents beyond the second
    bool complex;
};

// Bookkeeping of one call, as MATLAB keeps it: arrays the module creates
// during the call belong to the call until they are handed back.
void beginCall();

// Ends the call: every array created during it that is not among kept is
// destroyed. After an error, pass no kept arrays.
void endCall(mxArray* const* kept, int keptCount);

// True for an array the module created during the current call.
bool createdInCall(const mxArray* array);

int arraysCreated();                                  // during the current call
const CreatedShape* createdShapes();                  // arraysCreated() entries, in order
// Data taken from an input through mxGetPr or mxGetPi when it is not a
// double array, or through any call when it is sparse, has no storage, or
// is of a class the module rejects (not double, single or an 8-, 16- or
// 32-bit integer).
int misreads();
std::size_t liveArrays();

// libut's utIsInterruptPending answers true from its `question`-th question
// on (0: never), as when Ctrl-C is pressed during a call; the count starts
// again. interruptQuestions: how many questions were asked since.
void interruptFromQuestion(int question);
int interruptQuestions();

}  // namespace standin

#endif
