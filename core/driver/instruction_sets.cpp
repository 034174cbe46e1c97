#include "driver/instruction_sets.h"

#include <cstring>

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

bool detectFullWidthVectorUnits() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return false;
    char vendor[13];
    std::memcpy(vendor, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    vendor[12] = '\0';
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    const unsigned baseFamily = (eax >> 8) & 0xf;
    const unsigned family = baseFamily == 0xf ? baseFamily + ((eax >> 20) & 0xff) : baseFamily;
    const unsigned baseModel = (eax >> 4) & 0xf;
    const unsigned model =
        baseFamily == 0x6 || baseFamily == 0xf ? baseModel | (((eax >> 16) & 0xf) << 4) : baseModel;
    return fullWidthVectorUnitsFor(vendor, family, model);
}

#else

InstructionSet detectInstructionSet() { return InstructionSet::scalar; }

bool detectFullWidthVectorUnits() { return false; }

#endif

}  // namespace

InstructionSet bestInstructionSet() { return detectInstructionSet(); }

bool instructionSetSupported(InstructionSet set) {
    return static_cast<int>(set) <= static_cast<int>(detectInstructionSet());
}

bool fullWidthVectorUnits() { return detectFullWidthVectorUnits(); }

bool fullWidthVectorUnitsFor(const char* vendor, unsigned family, unsigned model) {
    if (std::strcmp(vendor, "AuthenticAMD") != 0) return false;
    if (family > 0x1a) return true;
    return family == 0x1a && (model <= 0x1f || (model >= 0x40 && model <= 0x4f));
}

}  // namespace spectrogrid
