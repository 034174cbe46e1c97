// Which vector instruction set the running processor and operating system
// support. Read afresh on every call: no global state.
#ifndef SPECTROGRID_CORE_CPU_FEATURES_H
#define SPECTROGRID_CORE_CPU_FEATURES_H

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
