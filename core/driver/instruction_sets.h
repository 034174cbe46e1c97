// Which vector instruction set the running processor and operating system
// support, read afresh on every call (no global state). The kernel set of
// each instruction set is in driver/kernel_sets.h.
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

// Whether this processor's 512-bit multiplications and additions run on
// full-width units that read a separately broadcast sample for free; it
// picks between the two AVX-512 kernel variants. False where cpuid cannot
// tell, and on processors other than x86.
bool fullWidthVectorUnits();

// The rule behind it, from the vendor string (12 characters) and the
// family and model numbers (extended parts included) cpuid reports: AMD
// Zen 5 server and desktop cores (family 1Ah, models 00h-1Fh and 40h-4Fh)
// and later AMD families. Zen 4 (family 19h) and the mobile Zen 5 cores
// run 512 bits as two halves. Intel's server cores have full-width units
// too, but there the embedded-broadcast products issue as fast (modelled
// with llvm-mca: bench/mca_kernels.sh), so they keep that variant.
bool fullWidthVectorUnitsFor(const char* vendor, unsigned family, unsigned model);

}  // namespace spectrogrid

#endif
