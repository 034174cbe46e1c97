#include "sincos.h"

#include <cmath>

namespace spectrogrid {

void sinCos(double theta, double* sine, double* cosine) {
    *sine = std::sin(theta);
    *cosine = std::cos(theta);
}

void fillSinCos(InstructionSet, const double* theta, double* sine, double* cosine,
                std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i) sinCos(theta[i], &sine[i], &cosine[i]);
}

}  // namespace spectrogrid
