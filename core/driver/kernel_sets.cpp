// The table of kernel sets (driver/kernel_sets.h): every set and variant the
// accumulate room defines for this build, and the choice among them.
#include "driver/kernel_sets.h"

#include "driver/instruction_sets.h"

namespace spectrogrid {

// Every kernel set of this build, widest first; of the two AVX-512
// variants, the one for half-width units first.
#if defined(__x86_64__) || defined(__i386__)
const KernelSet* const kernelSets[] = {&avx512::kernels, &avx512::fullWidthKernels, &avx2::kernels,
                                       &scalar::kernels};
#else
const KernelSet* const kernelSets[] = {&scalar::kernels};
#endif
const int kernelSetCount = static_cast<int>(sizeof kernelSets / sizeof kernelSets[0]);

const KernelSet& kernelSetFor(InstructionSet set) {
#if defined(__x86_64__) || defined(__i386__)
    if (set == InstructionSet::avx512) {
        return fullWidthVectorUnits() ? avx512::fullWidthKernels : avx512::kernels;
    }
#endif
    for (int s = 0; s < kernelSetCount; ++s) {
        if (kernelSets[s]->set == set) return *kernelSets[s];
    }
    return scalar::kernels;
}

const KernelSet& bestKernelSet() { return kernelSetFor(bestInstructionSet()); }

const char* instructionSetName(InstructionSet set) { return kernelSetFor(set).name; }

}  // namespace spectrogrid
