#include "host_call.h"

#include <algorithm>

namespace {

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

}  // namespace

CallResult callModule(MexEntry entry, int nlhs, const std::vector<mxArray*>& inputs) {
    CallResult result;
    const int slots = nlhs > 1 ? nlhs : 1;
    std::vector<mxArray*> plhs(static_cast<std::size_t>(slots + guardSlots), nullptr);
    std::vector<const mxArray*> prhs(inputs.begin(), inputs.end());
    const std::size_t liveBefore = standin::liveArrays();

    standin::beginCall();
    try {
        entry(nlhs, plhs.data(), static_cast<int>(prhs.size()), prhs.data());
    } catch (const standin::HostError& error) {
        result.raised = true;
        result.identifier = error.identifier;
        result.message = error.message;
    } catch (...) {
        result.raised = true;
        result.identifier = "<not a host error>";
    }
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

mxArray* ArrayPool::sparseDoubles(const std::vector<std::size_t>& dimensions) {
    return keep(standin::createArray(standin::ArrayClass::Double, dimensions.size(),
                                     dimensions.data(), false, true));
}

mxArray* ArrayPool::ofClass(standin::ArrayClass arrayClass,
                            const std::vector<std::size_t>& dimensions) {
    return keep(standin::createArray(arrayClass, dimensions.size(), dimensions.data(), false, false));
}

mxArray* ArrayPool::unbacked(const std::vector<std::size_t>& dimensions) {
    return keep(standin::createUnbackedArray(dimensions.size(), dimensions.data()));
}
