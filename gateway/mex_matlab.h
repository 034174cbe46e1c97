// The MATLAB host operations the gateway uses, declared from MATLAB's
// published MEX interface: the separate real/imaginary array interface with
// 32-bit dimensions (the names with the _700 suffix). Only what the gateway
// calls is declared; arrays stay opaque. libmx provides the mx functions,
// libmex the error call.
#ifndef SPECTROGRID_GATEWAY_MEX_MATLAB_H
#define SPECTROGRID_GATEWAY_MEX_MATLAB_H

#include <cstddef>

extern "C" {

typedef struct mxArray_tag mxArray;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

// Storage classes, by the values of MATLAB's mxClassID (those the gateway
// tells apart; objects have others).
typedef enum {
    mxCELL_CLASS = 1,
    mxSTRUCT_CLASS = 2,
    mxLOGICAL_CLASS = 3,
    mxCHAR_CLASS = 4,
    mxDOUBLE_CLASS = 6,
    mxSINGLE_CLASS = 7,
    mxINT8_CLASS = 8,
    mxUINT8_CLASS = 9,
    mxINT16_CLASS = 10,
    mxUINT16_CLASS = 11,
    mxINT32_CLASS = 12,
    mxUINT32_CLASS = 13,
    mxINT64_CLASS = 14,
    mxUINT64_CLASS = 15,
    mxFUNCTION_CLASS = 16
} mxClassID;

// Element data, column-major, real and imaginary parts in separate planes
// (the imaginary one null for a real array). mxGetPr and mxGetPi are for
// double arrays only; mxGetData and mxGetImagData give the planes of any
// numeric class, in its own storage.
double* mxGetPr(const mxArray* array);
double* mxGetPi(const mxArray* array);
void* mxGetData(const mxArray* array);
void* mxGetImagData(const mxArray* array);

// Shape. Every array has at least two dimensions.
std::size_t mxGetNumberOfElements(const mxArray* array);
int mxGetNumberOfDimensions_700(const mxArray* array);
const int* mxGetDimensions_700(const mxArray* array);

// Storage class and form. mxIsClass tells a class by its name, objects'
// (such as MATLAB's string) included.
mxClassID mxGetClassID(const mxArray* array);
bool mxIsClass(const mxArray* array, const char* className);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);

// The text of a character array, copied into buffer (at most length - 1
// characters and a terminating NUL); nonzero when it did not fit or the
// array is not a character array.
int mxGetString_700(const mxArray* array, char* buffer, int length);

// Element `index` of a cell array (column-major); null where none was set.
mxArray* mxGetCell_700(const mxArray* array, int index);

// A new m x n double array, owned by the host until it is handed back.
mxArray* mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity);
// A new array of any number of dimensions and of a numeric class.
mxArray* mxCreateNumericArray_700(int dimensionCount, const int* dimensions, mxClassID classId,
                                  mxComplexity complexity);

// Ends the call with an error. Does not return: the host unwinds out of the
// module. The message is a printf-style format.
void mexErrMsgIdAndTxt(const char* identifier, const char* format, ...);

// The module's entry point, called by the host.
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // extern "C"

#endif
