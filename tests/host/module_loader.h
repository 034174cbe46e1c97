// Loading a MEX module the way the host does: open the shared library, find
// mexFunction, close it again (MATLAB's "clear mex"). The only
// platform-specific part of the test host.
#ifndef SPECTROGRID_TESTS_HOST_MODULE_LOADER_H
#define SPECTROGRID_TESTS_HOST_MODULE_LOADER_H

#include <string>

#include "mex_matlab.h"

using MexEntry = void (*)(int, mxArray**, int, const mxArray**);

struct LoadedModule {
    void* handle = nullptr;
    MexEntry entry = nullptr;
};

// On failure the module is not loaded and error says why.
bool loadModule(const std::string& path, LoadedModule* module, std::string* error);
bool unloadModule(LoadedModule* module, std::string* error);

#endif
