// GNU Octave's MEX interface under the names the gateway uses. Octave
// provides the same operations as MATLAB's separate real/imaginary interface;
// only the shape functions and the array constructors go by other names.
#ifndef SPECTROGRID_GATEWAY_MEX_OCTAVE_H
#define SPECTROGRID_GATEWAY_MEX_OCTAVE_H

#include <mex.h>

#define mxCreateDoubleMatrix_700 mxCreateDoubleMatrix
#define mxCreateNumericArray_700 mxCreateNumericArray
#define mxGetNumberOfDimensions_700 mxGetNumberOfDimensions
#define mxGetDimensions_700 mxGetDimensions
#define mxGetString_700 mxGetString
#define mxGetCell_700 mxGetCell

#endif
