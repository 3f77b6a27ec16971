#pragma once

// Finding the host: an executable that is already loaded into the process,
// found by its file name, and its exported functions found by name. Nothing
// is loaded by the search.

// An already loaded executable or library, or none.
struct LoadedModule {
    void* handle = nullptr;  // platform handle, null when not found
};

// Looks among the objects already loaded into the process (the main executable
// included) for one whose file name is `fileName`; on systems other than
// Windows a name ending in ".exe" also matches that name without the ending.
LoadedModule findLoadedModule(const char* fileName);

// The address of the function `name` exported by `module` itself, or null.
void* findModuleFunction(const LoadedModule& module, const char* name);

// Gives back what findLoadedModule took (a reference count); does not unload.
void releaseLoadedModule(LoadedModule& module);
