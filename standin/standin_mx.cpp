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
    // The planes, in the storage of the class; doubles keep them aligned.
    std::vector<double> real;
    std::vector<double> imag;
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
    using standin::ArrayClass;
    switch (arrayClass) {
        case ArrayClass::Double: case ArrayClass::Int64: case ArrayClass::Uint64: return 8;
        case ArrayClass::Single: case ArrayClass::Int32: case ArrayClass::Uint32: return 4;
        case ArrayClass::Int16: case ArrayClass::Uint16: case ArrayClass::Char: return 2;
        case ArrayClass::Int8: case ArrayClass::Uint8: case ArrayClass::Logical: return 1;
        case ArrayClass::Cell: case ArrayClass::Struct: case ArrayClass::FunctionHandle:
        case ArrayClass::StringObject: return sizeof(void*);
    }
    return 8;
}

// The classes whose data the module may read (through mxGetData and
// mxGetImagData).
bool readableClass(standin::ArrayClass arrayClass) {
    using standin::ArrayClass;
    switch (arrayClass) {
        case ArrayClass::Double: case ArrayClass::Single: case ArrayClass::Int8:
        case ArrayClass::Uint8: case ArrayClass::Int16: case ArrayClass::Uint16:
        case ArrayClass::Int32: case ArrayClass::Uint32: return true;
        default: return false;
    }
}

mxClassID classIdOf(standin::ArrayClass arrayClass) {
    using standin::ArrayClass;
    switch (arrayClass) {
        case ArrayClass::Double: return mxDOUBLE_CLASS;
        case ArrayClass::Single: return mxSINGLE_CLASS;
        case ArrayClass::Int8: return mxINT8_CLASS;
        case ArrayClass::Uint8: return mxUINT8_CLASS;
        case ArrayClass::Int16: return mxINT16_CLASS;
        case ArrayClass::Uint16: return mxUINT16_CLASS;
        case ArrayClass::Int32: return mxINT32_CLASS;
        case ArrayClass::Uint32: return mxUINT32_CLASS;
        case ArrayClass::Int64: return mxINT64_CLASS;
        case ArrayClass::Uint64: return mxUINT64_CLASS;
        case ArrayClass::Logical: return mxLOGICAL_CLASS;
        case ArrayClass::Char: return mxCHAR_CLASS;
        case ArrayClass::Cell: return mxCELL_CLASS;
        case ArrayClass::Struct: return mxSTRUCT_CLASS;
        case ArrayClass::FunctionHandle: return mxFUNCTION_CLASS;
        case ArrayClass::StringObject: return static_cast<mxClassID>(18);  // an object
    }
    return mxCELL_CLASS;
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
        const std::size_t doubles = (elementCount(array) * elementSize(arrayClass) + 7) / 8;
        array->real.assign(doubles, 0.0);
        if (complex) array->imag.assign(doubles, 0.0);
    }
    liveSet.insert(array);
    return array;
}

// The module may take data only from an input of a class it accepts, full
// and backed, and through mxGetPr or mxGetPi only from a double one; from
// an array it created itself, anything.
void noteDataAccess(const mxArray* array, bool doubleAccess) {
    if (array->createdInCall) return;
    const bool readable = readableClass(array->arrayClass) && !array->sparse && array->backed;
    const bool doubleOnly = doubleAccess && array->arrayClass != standin::ArrayClass::Double;
    if (!readable || doubleOnly) ++misreadCount;
}

void* dataPointer(mxArray* array, bool imaginary) {
    if (!array->backed || (imaginary && !array->complex)) return nullptr;
    std::vector<double>& plane = imaginary ? array->imag : array->real;
    return plane.empty() ? nullptr : plane.data();
}

template <typename T>
void storeAs(void* plane, std::size_t index, double value) {
    const T element = static_cast<T>(value);
    std::memcpy(static_cast<unsigned char*>(plane) + index * sizeof(T), &element, sizeof(T));
}

mxArray* createInCall(standin::ArrayClass arrayClass, std::size_t dimensionCount,
                      const std::size_t* dimensions, bool complex) {
    if (!inCall) {
        std::fprintf(stderr, "standin libmx: array created outside a call\n");
        std::abort();
    }
    mxArray* array = makeArray(arrayClass, dimensionCount, dimensions, complex, false, true);
    array->createdInCall = true;
    if (arrayClass == standin::ArrayClass::Double) {
        std::uint64_t bits = standin::unwrittenBits;
        double marker;
        std::memcpy(&marker, &bits, sizeof marker);
        array->real.assign(array->real.size(), marker);
        array->imag.assign(array->imag.size(), marker);
    }
    std::size_t pages = 1;
    for (std::size_t d = 2; d < dimensionCount; ++d) pages *= dimensions[d];
    shapes.push_back(standin::CreatedShape{static_cast<int>(dimensions[0]),
                                           static_cast<int>(dimensions[1]), pages, complex});
    return array;
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

void storeValue(mxArray* array, std::size_t index, bool imaginary, double value) {
    void* plane = dataPointer(known(array, "storeValue"), imaginary);
    switch (array->arrayClass) {
        case ArrayClass::Double: storeAs<double>(plane, index, value); break;
        case ArrayClass::Single: storeAs<float>(plane, index, value); break;
        case ArrayClass::Int8: storeAs<std::int8_t>(plane, index, value); break;
        case ArrayClass::Uint8: storeAs<std::uint8_t>(plane, index, value); break;
        case ArrayClass::Int16: storeAs<std::int16_t>(plane, index, value); break;
        case ArrayClass::Uint16: storeAs<std::uint16_t>(plane, index, value); break;
        case ArrayClass::Int32: storeAs<std::int32_t>(plane, index, value); break;
        case ArrayClass::Uint32: storeAs<std::uint32_t>(plane, index, value); break;
        case ArrayClass::Int64: storeAs<std::int64_t>(plane, index, value); break;
        case ArrayClass::Uint64: storeAs<std::uint64_t>(plane, index, value); break;
        default:
            std::fprintf(stderr, "standin libmx: storeValue on a non-numeric array\n");
            std::abort();
    }
}

void storeText(mxArray* array, const char* text) {
    known(array, "storeText");
    if (array->arrayClass != ArrayClass::Char || std::strlen(text) != elementCount(array)) {
        std::fprintf(stderr, "standin libmx: storeText needs a character array of its length\n");
        std::abort();
    }
    // MATLAB's characters are 16-bit.
    for (std::size_t i = 0; text[i] != '\0'; ++i) {
        const std::uint16_t c = static_cast<unsigned char>(text[i]);
        std::memcpy(reinterpret_cast<unsigned char*>(array->real.data()) + 2 * i, &c, 2);
    }
}

void storeCellElement(mxArray* array, std::size_t index, mxArray* element) {
    known(array, "storeCellElement");
    known(element, "storeCellElement");
    if (array->arrayClass != ArrayClass::Cell || index >= elementCount(array)) {
        std::fprintf(stderr, "standin libmx: storeCellElement outside a cell array\n");
        std::abort();
    }
    std::memcpy(reinterpret_cast<unsigned char*>(array->real.data()) + index * sizeof element,
                &element, sizeof element);
}

double* realData(const mxArray* array) {
    return static_cast<double*>(dataPointer(known(array, "realData"), false));
}

double* imagData(const mxArray* array) {
    return static_cast<double*>(dataPointer(known(array, "imagData"), true));
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
    noteDataAccess(a, true);
    return static_cast<double*>(dataPointer(a, false));
}

double* mxGetPi(const mxArray* array) {
    mxArray* a = known(array, "mxGetPi");
    noteDataAccess(a, true);
    return static_cast<double*>(dataPointer(a, true));
}

void* mxGetData(const mxArray* array) {
    mxArray* a = known(array, "mxGetData");
    noteDataAccess(a, false);
    return dataPointer(a, false);
}

void* mxGetImagData(const mxArray* array) {
    mxArray* a = known(array, "mxGetImagData");
    noteDataAccess(a, false);
    return dataPointer(a, true);
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

mxClassID mxGetClassID(const mxArray* array) {
    return classIdOf(known(array, "mxGetClassID")->arrayClass);
}

bool mxIsClass(const mxArray* array, const char* className) {
    const mxArray* a = known(array, "mxIsClass");
    return a->arrayClass == standin::ArrayClass::StringObject && std::strcmp(className, "string") == 0;
}

int mxGetString_700(const mxArray* array, char* buffer, int length) {
    const mxArray* a = known(array, "mxGetString_700");
    if (a->arrayClass != standin::ArrayClass::Char || length < 1) return 1;
    const std::size_t n = elementCount(a);
    const std::size_t fits = n < static_cast<std::size_t>(length) ? n : static_cast<std::size_t>(length) - 1;
    for (std::size_t i = 0; i < fits; ++i) {
        std::uint16_t c;
        std::memcpy(&c, reinterpret_cast<const unsigned char*>(a->real.data()) + 2 * i, 2);
        buffer[i] = static_cast<char>(c);
    }
    buffer[fits] = '\0';
    return fits == n ? 0 : 1;
}

mxArray* mxGetCell_700(const mxArray* array, int index) {
    const mxArray* a = known(array, "mxGetCell_700");
    if (a->arrayClass != standin::ArrayClass::Cell || index < 0 ||
        static_cast<std::size_t>(index) >= elementCount(a) || !a->backed) {
        std::fprintf(stderr, "standin libmx: mxGetCell_700 outside a cell array\n");
        std::abort();
    }
    mxArray* element;
    std::memcpy(&element, reinterpret_cast<const unsigned char*>(a->real.data()) + index * sizeof element,
                sizeof element);
    return element;
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
    return createInCall(standin::ArrayClass::Double, 2, dimensions, complexity == mxCOMPLEX);
}

mxArray* mxCreateNumericArray_700(int dimensionCount, const int* dimensions, mxClassID classId,
                                  mxComplexity complexity) {
    std::vector<std::size_t> extents;
    for (int d = 0; d < dimensionCount; ++d) {
        if (dimensions[d] < 0) {
            mexErrMsgIdAndTxt("standin:negativeDimension",
                              "mxCreateNumericArray_700: negative dimension %d", dimensions[d]);
        }
        extents.push_back(static_cast<std::size_t>(dimensions[d]));
    }
    while (extents.size() < 2) extents.push_back(1);
    standin::ArrayClass arrayClass = standin::ArrayClass::Double;
    for (int c = 0; c <= static_cast<int>(standin::ArrayClass::Uint64); ++c) {
        if (classIdOf(static_cast<standin::ArrayClass>(c)) == classId) {
            arrayClass = static_cast<standin::ArrayClass>(c);
        }
    }
    if (classIdOf(arrayClass) != classId) {
        mexErrMsgIdAndTxt("standin:notNumeric", "mxCreateNumericArray_700: class %d is not numeric",
                          static_cast<int>(classId));
    }
    return createInCall(arrayClass, extents.size(), extents.data(), complexity == mxCOMPLEX);
}

}  // extern "C"
