// [s, c] = reference_sincos(theta): the correctly rounded sine and cosine
// of every element, from MPFR, for the Octave model of the analysis
// (Octave's own sin and cos come from the platform's maths library, which
// does not always round correctly).
#include <octave/oct.h>

#include "reference.h"

DEFUN_DLD(reference_sincos, args, , "[s, c] = reference_sincos(theta): correctly rounded, from MPFR") {
    const NDArray theta = args(0).array_value();
    NDArray sine(theta.dims());
    NDArray cosine(theta.dims());
    for (octave_idx_type i = 0; i < theta.numel(); ++i) {
        double s, c;
        reference::correctlyRoundedSinCos(theta(i), &s, &c);
        sine(i) = s;
        cosine(i) = c;
    }
    return ovl(sine, cosine);
}
