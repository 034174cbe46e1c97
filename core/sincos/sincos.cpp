// Dispatch of the sine-cosine routine to the instruction set asked for.
#include "sincos.h"

#include "sincos_internal.h"

namespace spectrogrid {

void sinCos(double theta, double* sine, double* cosine) {
    sincos_scalar::sinCos(theta, sine, cosine);
}

void fillSinCos(InstructionSet set, const double* theta, double* sine, double* cosine,
                std::int64_t n) {
#if defined(__x86_64__) || defined(__i386__)
    if (set == InstructionSet::avx512) {
        sincos_avx512::fillSinCos(theta, sine, cosine, n);
        return;
    }
    if (set == InstructionSet::avx2) {
        sincos_avx2::fillSinCos(theta, sine, cosine, n);
        return;
    }
#else
    (void)set;
#endif
    sincos_scalar::fillSinCos(theta, sine, cosine, n);
}

}  // namespace spectrogrid
