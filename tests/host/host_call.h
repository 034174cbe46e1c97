// One call of a MEX module through the stand-in host, as MATLAB makes it:
// the output slots the host provides, the call, the error caught as it
// unwinds out of the module, and everything the module created or handed
// back, copied out before the host reclaims it.
#ifndef SPECTROGRID_TESTS_HOST_HOST_CALL_H
#define SPECTROGRID_TESTS_HOST_HOST_CALL_H

#include <cstddef>
#include <string>
#include <vector>

#include "module_loader.h"
#include "standin_host.h"

struct Output {
    bool assigned = false;
    std::vector<std::size_t> dimensions;
    bool complex = false;
    std::vector<double> real;
    std::vector<double> imag;
};

struct CallResult {
    bool raised = false;
    std::string identifier;
    std::string message;
    std::vector<standin::CreatedShape> created;  // in order of creation
    int misreads = 0;
    std::vector<Output> outputs;  // one per slot the host provided: max(nlhs, 1)
    bool outputsOwnedByCall = true;  // every assigned slot holds a distinct array of this call
    bool slotsBeyondUntouched = true;  // nothing written past the provided slots
    bool arraysReclaimed = true;       // the host holds no more arrays than before the call
};

CallResult callModule(MexEntry entry, int nlhs, const std::vector<mxArray*>& inputs);

// On 32-bit x86, later calls enter the module with the stack pointer this
// many bytes off a 16-byte boundary; elsewhere it changes nothing.
void setCallStackOffset(unsigned bytes);

// Input arrays for the tests; all are destroyed with the pool.
class ArrayPool {
public:
    ArrayPool() = default;
    ArrayPool(const ArrayPool&) = delete;
    ArrayPool& operator=(const ArrayPool&) = delete;
    ~ArrayPool();

    mxArray* doubles(const std::vector<std::size_t>& dimensions, const std::vector<double>& values);
    mxArray* column(const std::vector<double>& values);
    mxArray* row(const std::vector<double>& values);
    mxArray* scalar(double value);
    mxArray* complexDoubles(const std::vector<std::size_t>& dimensions);
    mxArray* sparseDoubles(const std::vector<std::size_t>& dimensions, bool complex = false);
    mxArray* ofClass(standin::ArrayClass arrayClass, const std::vector<std::size_t>& dimensions);
    // An array of a numeric class holding these values (each exact in the
    // class), complex when asked or when imaginary parts are given.
    mxArray* numeric(standin::ArrayClass arrayClass, const std::vector<std::size_t>& dimensions,
                     const std::vector<double>& real, const std::vector<double>& imag = {},
                     bool complex = false);
    mxArray* unbacked(const std::vector<std::size_t>& dimensions);
    mxArray* text(const char* characters);  // a 1-by-n character array
    mxArray* cell(const std::vector<std::size_t>& dimensions, const std::vector<mxArray*>& elements);

private:
    mxArray* keep(mxArray* array);
    std::vector<mxArray*> arrays_;
};

#endif
