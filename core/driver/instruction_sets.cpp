#include "driver/instruction_sets.h"

#include "accumulate/kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace spectrogrid {

namespace {

#if defined(__x86_64__) || defined(__i386__)

unsigned long long readXcr0() {
    unsigned int eax = 0, edx = 0;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (static_cast<unsigned long long>(edx) << 32) | eax;
}

InstructionSet detectInstructionSet() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return InstructionSet::scalar;
    const bool osxsave = (ecx >> 27) & 1;
    const bool avx = (ecx >> 28) & 1;
    if (!osxsave || !avx) return InstructionSet::scalar;
    const unsigned long long xcr0 = readXcr0();
    const bool ymmSaved = (xcr0 & 0x6) == 0x6;                 // SSE and AVX state
    const bool zmmSaved = (xcr0 & 0xe6) == 0xe6;               // plus opmask and ZMM state
    if (!ymmSaved) return InstructionSet::scalar;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return InstructionSet::scalar;
    const bool avx2 = (ebx >> 5) & 1;
    const bool avx512f = (ebx >> 16) & 1;
    const bool avx512dq = (ebx >> 17) & 1;
    if (avx512f && avx512dq && zmmSaved) return InstructionSet::avx512;
    if (avx2) return InstructionSet::avx2;
    return InstructionSet::scalar;
}

#else

InstructionSet detectInstructionSet() { return InstructionSet::scalar; }

#endif

}  // namespace

InstructionSet bestInstructionSet() { return detectInstructionSet(); }

bool instructionSetSupported(InstructionSet set) {
    return static_cast<int>(set) <= static_cast<int>(detectInstructionSet());
}

const char* instructionSetName(InstructionSet set) { return kernelSetFor(set).name; }

// Every kernel set of this build, widest first.
#if defined(__x86_64__) || defined(__i386__)
const KernelSet* const kernelSets[] = {&avx512::kernels, &avx2::kernels, &scalar::kernels};
#else
const KernelSet* const kernelSets[] = {&scalar::kernels};
#endif
const int kernelSetCount = static_cast<int>(sizeof kernelSets / sizeof kernelSets[0]);

const KernelSet& kernelSetFor(InstructionSet set) {
    for (int s = 0; s < kernelSetCount; ++s) {
        if (kernelSets[s]->set == set) return *kernelSets[s];
    }
    return scalar::kernels;
}

const KernelSet& bestKernelSet() { return kernelSetFor(bestInstructionSet()); }

}  // namespace spectrogrid
