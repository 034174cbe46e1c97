// Stand-in libmx: MATLAB's array operations with real behaviour, and the
// host-side bookkeeping of a call.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "standin_host.h"

struct mxArray_tag {
    standin::ArrayClass arrayClass = standin::ArrayClass::Double;
    bool complex = false;
    bool sparse = false;
    bool backed = true;
    bool createdInCall = false;
    std::vector<std::size_t> dimensions;
    std::vector<int> dimensions32;
    std::vector<double> real;
    std::vector<double> imag;
    std::vector<unsigned char> bytes;  // data of the other classes
};

namespace {

std::set<const mxArray*> liveSet;
bool inCall = false;
std::vector<standin::CreatedShape> shapes;
int misreadCount = 0;

// A handle the host never gave out, or one already destroyed, would make
// MATLAB crash; here it stops the test run with a message.
mxArray* known(const mxArray* array, const char* operation) {
    if (liveSet.count(array) == 0) {
        std::fprintf(stderr, "standin libmx: %s on an unknown array %p\n", operation,
                     static_cast<const void*>(array));
        std::abort();
    }
    return const_cast<mxArray*>(array);
}

std::size_t elementCount(const mxArray* array) {
    std::size_t count = 1;
    for (std::size_t d : array->dimensions) count *= d;
    return count;
}

std::size_t elementSize(standin::ArrayClass arrayClass) {
    switch (arrayClass) {
        case standin::ArrayClass::Double: return 8;
        case standin::ArrayClass::Single: return 4;
        case standin::ArrayClass::Int32: return 4;
        case standin::ArrayClass::Logical: return 1;
        case standin::ArrayClass::Char: return 2;
        case standin::ArrayClass::Cell: return sizeof(void*);
    }
    return 8;
}

mxArray* makeArray(standin::ArrayClass arrayClass, std::size_t dimensionCount,
                   const std::size_t* dimensions, bool complex, bool sparse, bool backed) {
    mxArray* array = new mxArray_tag;
    array->arrayClass = arrayClass;
    array->complex = complex;
    array->sparse = sparse;
    array->backed = backed;
    array->dimensions.assign(dimensions, dimensions + dimensionCount);
    while (array->dimensions.size() < 2) array->dimensions.push_back(1);
    for (std::size_t d : array->dimensions) array->dimensions32.push_back(static_cast<int>(d));
    if (backed) {
        const std::size_t n = elementCount(array);
        if (arrayClass == standin::ArrayClass::Double) {
            array->real.assign(n, 0.0);
            if (complex) array->imag.assign(n, 0.0);
        } else {
            array->bytes.assign(n * elementSize(arrayClass) * (complex ? 2 : 1), 0);
        }
    }
    liveSet.insert(array);
    return array;
}

// The module may take data only from a real, full, backed double input, or
// from an array it created itself.
void noteDataAccess(const mxArray* array) {
    if (array->createdInCall) return;
    if (array->arrayClass != standin::ArrayClass::Double || array->complex || array->sparse ||
        !array->backed) {
        ++misreadCount;
    }
}

double* dataPointer(mxArray* array, bool imaginary) {
    if (!array->backed) return nullptr;
    if (array->arrayClass != standin::ArrayClass::Double) {
        return array->bytes.empty() ? nullptr : reinterpret_cast<double*>(array->bytes.data());
    }
    std::vector<double>& plane = imaginary ? array->imag : array->real;
    return plane.empty() ? nullptr : plane.data();
}

}  // namespace

namespace standin {

mxArray* createArray(ArrayClass arrayClass, std::size_t dimensionCount,
                     const std::size_t* dimensions, bool complex, bool sparse) {
    return makeArray(arrayClass, dimensionCount, dimensions, complex, sparse, true);
}

mxArray* createUnbackedArray(std::size_t dimensionCount, const std::size_t* dimensions) {
    return makeArray(ArrayClass::Double, dimensionCount, dimensions, false, false, false);
}

void destroyArray(mxArray* array) {
    liveSet.erase(known(array, "destroyArray"));
    delete array;
}

double* realData(const mxArray* array) { return dataPointer(known(array, "realData"), false); }

double* imagData(const mxArray* array) {
    mxArray* a = known(array, "imagData");
    return a->complex ? dataPointer(a, true) : nullptr;
}

std::size_t dimensionCount(const mxArray* array) {
    return known(array, "dimensionCount")->dimensions.size();
}

const std::size_t* dimensions(const mxArray* array) {
    return known(array, "dimensions")->dimensions.data();
}

bool isComplex(const mxArray* array) { return known(array, "isComplex")->complex; }

void beginCall() {
    inCall = true;
    shapes.clear();
    misreadCount = 0;
}

void endCall(mxArray* const* kept, int keptCount) {
    std::vector<mxArray*> reclaimed;
    for (const mxArray* array : liveSet) {
        if (!array->createdInCall) continue;
        bool isKept = false;
        for (int i = 0; i < keptCount; ++i) isKept = isKept || kept[i] == array;
        mxArray* owned = const_cast<mxArray*>(array);
        if (isKept) {
            owned->createdInCall = false;
        } else {
            reclaimed.push_back(owned);
        }
    }
    for (mxArray* array : reclaimed) destroyArray(array);
    inCall = false;
}

bool createdInCall(const mxArray* array) {
    return liveSet.count(array) != 0 && array->createdInCall;
}

int arraysCreated() { return static_cast<int>(shapes.size()); }

const CreatedShape* createdShapes() { return shapes.data(); }

int misreads() { return misreadCount; }

std::size_t liveArrays() { return liveSet.size(); }

}  // namespace standin

extern "C" {

double* mxGetPr(const mxArray* array) {
    mxArray* a = known(array, "mxGetPr");
    noteDataAccess(a);
    return dataPointer(a, false);
}

double* mxGetPi(const mxArray* array) {
    mxArray* a = known(array, "mxGetPi");
    noteDataAccess(a);
    return a->complex ? dataPointer(a, true) : nullptr;
}

std::size_t mxGetNumberOfElements(const mxArray* array) {
    return elementCount(known(array, "mxGetNumberOfElements"));
}

int mxGetNumberOfDimensions_700(const mxArray* array) {
    return static_cast<int>(known(array, "mxGetNumberOfDimensions_700")->dimensions32.size());
}

const int* mxGetDimensions_700(const mxArray* array) {
    return known(array, "mxGetDimensions_700")->dimensions32.data();
}

bool mxIsDouble(const mxArray* array) {
    return known(array, "mxIsDouble")->arrayClass == standin::ArrayClass::Double;
}

bool mxIsComplex(const mxArray* array) { return known(array, "mxIsComplex")->complex; }

bool mxIsSparse(const mxArray* array) { return known(array, "mxIsSparse")->sparse; }

mxArray* mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity) {
    if (m < 0 || n < 0) {
        // MATLAB refuses a negative dimension with an error of its own.
        mexErrMsgIdAndTxt("standin:negativeDimension",
                          "mxCreateDoubleMatrix_700: negative dimension %d x %d", m, n);
    }
    const std::size_t dimensions[2] = {static_cast<std::size_t>(m), static_cast<std::size_t>(n)};
    mxArray* array = makeArray(standin::ArrayClass::Double, 2, dimensions,
                               complexity == mxCOMPLEX, false, true);
    array->createdInCall = true;
    std::uint64_t bits = standin::unwrittenBits;
    double marker;
    std::memcpy(&marker, &bits, sizeof marker);
    array->real.assign(array->real.size(), marker);
    array->imag.assign(array->imag.size(), marker);
    if (!inCall) {
        std::fprintf(stderr, "standin libmx: array created outside a call\n");
        std::abort();
    }
    shapes.push_back(standin::CreatedShape{m, n, complexity == mxCOMPLEX});
    return array;
}

}  // extern "C"
