// The table of kernel sets this build carries, and the one the running
// processor gets (kernel_sets.cpp). A new kernel set or variant is
// defined in its accumulate/ source and listed here, once.
#ifndef SPECTROGRID_CORE_DRIVER_KERNEL_SETS_H
#define SPECTROGRID_CORE_DRIVER_KERNEL_SETS_H

#include <cstdint>

#include "accumulate/kernels.h"

namespace spectrogrid {

// Every kernel set of this build, widest first (an instruction set may have
// more than one variant); the one for a set on this processor; the one for
// the widest set this processor supports.
extern const KernelSet* const kernelSets[];
extern const int kernelSetCount;
const KernelSet& kernelSetFor(InstructionSet set);
const KernelSet& bestKernelSet();

// The name of the kernel set this processor runs for `set` (an AVX-512
// processor names its variant).
const char* instructionSetName(InstructionSet set);

}  // namespace spectrogrid

#endif
