// Stand-in libmex: the error call. Like MATLAB's, it does not return to the
// module: it throws, and the exception unwinds through the module's frames to
// the host, which catches it. That needs unwind information in the module.
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "standin_host.h"

extern "C" void mexErrMsgIdAndTxt(const char* identifier, const char* format, ...) {
    standin::HostError error;
    std::snprintf(error.identifier, sizeof error.identifier, "%s", identifier);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error.message, sizeof error.message, format, arguments);
    va_end(arguments);
#if defined(_WIN32)
    standin::raiseWithJump(error);
#else
    throw error;
#endif
}

#if defined(_WIN32)
namespace {
std::jmp_buf* errorTarget = nullptr;
standin::HostError lastError;
}  // namespace

void standin::setErrorTarget(std::jmp_buf* target) { errorTarget = target; }

const standin::HostError& standin::raisedError() { return lastError; }

void standin::raiseWithJump(const HostError& error) {
    lastError = error;
    std::longjmp(*errorTarget, 1);
}
#endif
