#include "module_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)

std::string lastError() { return "Windows error " + std::to_string(GetLastError()); }

void* openLibrary(const std::string& path) { return LoadLibraryA(path.c_str()); }

void* findSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

bool closeLibrary(void* handle) { return FreeLibrary(static_cast<HMODULE>(handle)) != 0; }

#else

std::string lastError() {
    const char* message = dlerror();
    return message != nullptr ? message : "unknown error";
}

// Symbols stay local to the module, as MATLAB loads it.
void* openLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }

bool closeLibrary(void* handle) { return dlclose(handle) == 0; }

#endif

}  // namespace

bool loadModule(const std::string& path, LoadedModule* module, std::string* error) {
    void* handle = openLibrary(path);
    if (handle == nullptr) {
        *error = "cannot load " + path + ": " + lastError();
        return false;
    }
    void* entry = findSymbol(handle, "mexFunction");
    if (entry == nullptr) {
        *error = path + " has no mexFunction: " + lastError();
        closeLibrary(handle);
        return false;
    }
    module->handle = handle;
    module->entry = reinterpret_cast<MexEntry>(entry);
    return true;
}

bool unloadModule(LoadedModule* module, std::string* error) {
    const bool closed = closeLibrary(module->handle);
    if (!closed) *error = lastError();
    module->handle = nullptr;
    module->entry = nullptr;
    return closed;
}
