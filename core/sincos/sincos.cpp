// The sine-cosine routine for one argument.
#include "sincos/sincos.h"

#include "sincos/internal.h"

namespace spectrogrid {

void sinCos(double theta, double* sine, double* cosine) {
    sincos_scalar::sinCos(theta, sine, cosine);
}

}  // namespace spectrogrid
