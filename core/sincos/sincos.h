// Sine and cosine for the twiddle tables: correctly rounded (to nearest)
// for every double, computed with IEEE double +, -, * and exact integer
// operations only, so that every platform, compiler and instruction set
// gives the same bits.
#ifndef SPECTROGRID_CORE_SINCOS_SINCOS_H
#define SPECTROGRID_CORE_SINCOS_SINCOS_H

#include <cstdint>


namespace spectrogrid {

// sine = sin(theta), cosine = cos(theta), both of the same argument and
// both the double nearest the exact value. sin(+-0) = +-0; NaN and
// infinite arguments give the quiet NaN with all payload bits clear.
void sinCos(double theta, double* sine, double* cosine);

// The batch routines, sine[i], cosine[i] of theta[i] for i < n, one per
// instruction set and with the same bits as sinCos, are in the kernel
// table (accumulate/kernels.h); theta may be the same array as sine or
// cosine.

}  // namespace spectrogrid

#endif
