// Which vector instruction set the running processor and operating system
// support, read afresh on every call (no global state). The kernel set of
// each instruction set is in accumulate/kernels.h.
#ifndef SPECTROGRID_CORE_DRIVER_INSTRUCTION_SETS_H
#define SPECTROGRID_CORE_DRIVER_INSTRUCTION_SETS_H

namespace spectrogrid {

enum class InstructionSet { scalar = 0, avx2 = 1, avx512 = 2 };

// The widest instruction set both the processor (cpuid) and the operating
// system (xgetbv: the vector registers are saved on context switches)
// support. Always scalar on processors other than x86.
InstructionSet bestInstructionSet();

// True when `set` can run here; scalar always can.
bool instructionSetSupported(InstructionSet set);

const char* instructionSetName(InstructionSet set);

}  // namespace spectrogrid

#endif
