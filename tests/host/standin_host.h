// The host side of the stand-in MATLAB libraries: what the test host uses to
// build input arrays, run a call the way MATLAB does and look at what the
// module handed back. The module itself sees only the MEX functions declared
// in gateway/mex_matlab.h, which libmx and libmex implement with real
// behaviour: arrays own their memory, the error call does not return.
#ifndef SPECTROGRID_TESTS_HOST_STANDIN_HOST_H
#define SPECTROGRID_TESTS_HOST_STANDIN_HOST_H

#include <cstddef>

#include "mex_matlab.h"

namespace standin {

enum class ArrayClass { Double, Single, Int32, Logical, Char, Cell };

// What the error call throws. It unwinds through the module's frames back to
// the host, as MATLAB's error call does.
struct HostError {
    char identifier[128];
    char message[1024];
};

// An input array of any class and shape, owned by the host. Double data is
// zero; a complex array has an imaginary plane.
mxArray* createArray(ArrayClass arrayClass, std::size_t dimensionCount,
                     const std::size_t* dimensions, bool complex, bool sparse);

// A real double array of this shape with no storage behind it, for lengths
// the test machine cannot hold. Reading its data is a fault of the module.
mxArray* createUnbackedArray(std::size_t dimensionCount, const std::size_t* dimensions);

void destroyArray(mxArray* array);

double* realData(const mxArray* array);
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
int misreads();  // data taken from an input that is not a real, full, backed double array
std::size_t liveArrays();

}  // namespace standin

#endif
