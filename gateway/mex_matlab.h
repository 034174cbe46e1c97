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

// Element data, column-major. mxGetPi is null for a real array.
double* mxGetPr(const mxArray* array);
double* mxGetPi(const mxArray* array);

// Shape. Every array has at least two dimensions.
std::size_t mxGetNumberOfElements(const mxArray* array);
int mxGetNumberOfDimensions_700(const mxArray* array);
const int* mxGetDimensions_700(const mxArray* array);

// Storage class and form.
bool mxIsDouble(const mxArray* array);
bool mxIsComplex(const mxArray* array);
bool mxIsSparse(const mxArray* array);

// A new m x n double array, owned by the host until it is handed back.
mxArray* mxCreateDoubleMatrix_700(int m, int n, mxComplexity complexity);

// Ends the call with an error. Does not return: the host unwinds out of the
// module. The message is a printf-style format.
void mexErrMsgIdAndTxt(const char* identifier, const char* format, ...);

// The module's entry point, called by the host.
void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

}  // extern "C"

#endif
