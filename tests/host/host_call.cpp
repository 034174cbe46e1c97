#include "host_call.h"

#include <cstring>

#include <algorithm>

namespace {

unsigned stackOffset = 0;

// Calls the module the way a 32-bit Windows host may: with the stack
// pointer `stackOffset` bytes off a 16-byte boundary at the call, since that
// platform promises only 4-byte alignment. Elsewhere a plain call.
struct EntryCall {
    MexEntry entry;
    int nlhs;
    mxArray** plhs;
    int nrhs;
    const mxArray** prhs;
    unsigned offset;
};

void callEntry(const EntryCall* call) {
#if defined(__i386__)
    __asm__ volatile(
        "pushl %%ebp\n\t"
        "movl %%esp, %%ebp\n\t"
        "andl $-16, %%esp\n\t"
        "subl 20(%0), %%esp\n\t"
        "subl $16, %%esp\n\t"
        "movl 4(%0), %%eax\n\t"
        "movl %%eax, 0(%%esp)\n\t"
        "movl 8(%0), %%eax\n\t"
        "movl %%eax, 4(%%esp)\n\t"
        "movl 12(%0), %%eax\n\t"
        "movl %%eax, 8(%%esp)\n\t"
        "movl 16(%0), %%eax\n\t"
        "movl %%eax, 12(%%esp)\n\t"
        "call *0(%0)\n\t"
        "movl %%ebp, %%esp\n\t"
        "popl %%ebp\n\t"
        :
        : "b"(call)
        : "eax", "ecx", "edx", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5",
          "xmm6", "xmm7");
#else
    call->entry(call->nlhs, call->plhs, call->nrhs, call->prhs);
#endif
}

void invoke(MexEntry entry, int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
    const EntryCall call = {entry, nlhs, plhs, nrhs, prhs, stackOffset};
    callEntry(&call);
}

// Extra slots past those MATLAB provides, to catch writes beyond them.
constexpr int guardSlots = 4;

Output copyOutput(const mxArray* array) {
    Output out;
    out.assigned = true;
    const std::size_t* dims = standin::dimensions(array);
    out.dimensions.assign(dims, dims + standin::dimensionCount(array));
    std::size_t n = 1;
    for (std::size_t d : out.dimensions) n *= d;
    out.complex = standin::isComplex(array);
    const double* re = standin::realData(array);
    if (re != nullptr) out.real.assign(re, re + n);
    const double* im = standin::imagData(array);
    if (im != nullptr) out.imag.assign(im, im + n);
    return out;
}

#if defined(_WIN32)
// Calls the module with the error call's target set here; true when the
// call ended in the error call. Nothing with a destructor lives in this
// frame, which the jump lands in.
bool invokeWithJump(MexEntry entry, int nlhs, mxArray** plhs, int nrhs, const mxArray** prhs) {
    static std::jmp_buf target;
    if (setjmp(target) != 0) return true;
    standin::setErrorTarget(&target);
    invoke(entry, nlhs, plhs, nrhs, prhs);
    return false;
}
#endif

}  // namespace

void setCallStackOffset(unsigned bytes) { stackOffset = bytes; }

CallResult callModule(MexEntry entry, int nlhs, const std::vector<mxArray*>& inputs) {
    CallResult result;
    const int slots = nlhs > 1 ? nlhs : 1;
    std::vector<mxArray*> plhs(static_cast<std::size_t>(slots + guardSlots), nullptr);
    std::vector<const mxArray*> prhs(inputs.begin(), inputs.end());
    const std::size_t liveBefore = standin::liveArrays();

    standin::beginCall();
#if defined(_WIN32)
    if (invokeWithJump(entry, nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data())) {
        result.raised = true;
        result.identifier = standin::raisedError().identifier;
        result.message = standin::raisedError().message;
    }
#else
    try {
        invoke(entry, nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    } catch (const standin::HostError& error) {
        result.raised = true;
        result.identifier = error.identifier;
        result.message = error.message;
    } catch (...) {
        result.raised = true;
        result.identifier = "<not a host error>";
    }
#endif
    const standin::CreatedShape* shapes = standin::createdShapes();
    result.created.assign(shapes, shapes + standin::arraysCreated());
    result.misreads = standin::misreads();

    for (int s = slots; s < slots + guardSlots; ++s) {
        if (plhs[s] != nullptr) result.slotsBeyondUntouched = false;
    }
    result.outputs.resize(static_cast<std::size_t>(slots));
    std::vector<mxArray*> handedBack;
    for (int s = 0; s < slots; ++s) {
        mxArray* array = plhs[s];
        if (array == nullptr) continue;
        const bool duplicate = std::find(handedBack.begin(), handedBack.end(), array) != handedBack.end();
        if (duplicate || !standin::createdInCall(array)) {
            result.outputsOwnedByCall = false;
            continue;
        }
        handedBack.push_back(array);
        result.outputs[s] = copyOutput(array);
    }

    // After an error MATLAB discards whatever the module assigned.
    if (result.raised) handedBack.clear();
    standin::endCall(handedBack.data(), static_cast<int>(handedBack.size()));
    for (mxArray* array : handedBack) standin::destroyArray(array);
    result.arraysReclaimed = standin::liveArrays() == liveBefore;
    return result;
}

ArrayPool::~ArrayPool() {
    for (mxArray* array : arrays_) standin::destroyArray(array);
}

mxArray* ArrayPool::keep(mxArray* array) {
    arrays_.push_back(array);
    return array;
}

mxArray* ArrayPool::doubles(const std::vector<std::size_t>& dimensions,
                            const std::vector<double>& values) {
    mxArray* array = standin::createArray(standin::ArrayClass::Double, dimensions.size(),
                                          dimensions.data(), false, false);
    std::copy(values.begin(), values.end(), standin::realData(array));
    return keep(array);
}

mxArray* ArrayPool::column(const std::vector<double>& values) {
    return doubles({values.size(), 1}, values);
}

mxArray* ArrayPool::row(const std::vector<double>& values) {
    return doubles({1, values.size()}, values);
}

mxArray* ArrayPool::scalar(double value) { return doubles({1, 1}, {value}); }

mxArray* ArrayPool::complexDoubles(const std::vector<std::size_t>& dimensions) {
    return keep(standin::createArray(standin::ArrayClass::Double, dimensions.size(),
                                     dimensions.data(), true, false));
}

mxArray* ArrayPool::sparseDoubles(const std::vector<std::size_t>& dimensions, bool complex) {
    return keep(standin::createArray(standin::ArrayClass::Double, dimensions.size(),
                                     dimensions.data(), complex, true));
}

mxArray* ArrayPool::ofClass(standin::ArrayClass arrayClass,
                            const std::vector<std::size_t>& dimensions) {
    return keep(standin::createArray(arrayClass, dimensions.size(), dimensions.data(), false, false));
}

mxArray* ArrayPool::text(const char* characters) {
    mxArray* array = ofClass(standin::ArrayClass::Char, {1, std::strlen(characters)});
    standin::storeText(array, characters);
    return array;
}

mxArray* ArrayPool::cell(const std::vector<std::size_t>& dimensions,
                         const std::vector<mxArray*>& elements) {
    mxArray* array = ofClass(standin::ArrayClass::Cell, dimensions);
    for (std::size_t i = 0; i < elements.size(); ++i) standin::storeCellElement(array, i, elements[i]);
    return array;
}

mxArray* ArrayPool::numeric(standin::ArrayClass arrayClass,
                            const std::vector<std::size_t>& dimensions,
                            const std::vector<double>& real, const std::vector<double>& imag,
                            bool complex) {
    mxArray* array = standin::createArray(arrayClass, dimensions.size(), dimensions.data(),
                                          complex || !imag.empty(), false);
    for (std::size_t i = 0; i < real.size(); ++i) standin::storeValue(array, i, false, real[i]);
    for (std::size_t i = 0; i < imag.size(); ++i) standin::storeValue(array, i, true, imag[i]);
    return keep(array);
}

mxArray* ArrayPool::unbacked(const std::vector<std::size_t>& dimensions) {
    return keep(standin::createUnbackedArray(dimensions.size(), dimensions.data()));
}
