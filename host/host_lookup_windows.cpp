// Finding the host on Windows: the executable is found among the loaded
// modules by its file name, without loading anything, and its exports by name.

#include <windows.h>

#include "host/host_lookup.h"

LoadedModule findLoadedModule(const char* fileName) {
    LoadedModule module;
    module.handle = reinterpret_cast<void*>(GetModuleHandleA(fileName));
    return module;
}

void* findModuleFunction(const LoadedModule& module, const char* name) {
    if (!module.handle) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module.handle), name));
}

// GetModuleHandleA takes no reference, so there is nothing to give back.
void releaseLoadedModule(LoadedModule& module) {
    module.handle = nullptr;
}
