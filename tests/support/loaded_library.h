#pragma once

// A library loaded for the length of a test, with local symbol scope as a
// host loads a plug-in, and unloaded again at the end.

#include <dlfcn.h>

#include <string>

class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* path, int flags = RTLD_NOW | RTLD_LOCAL)
        : handle_(dlopen(path, flags)) {
        if (!handle_) error_ = dlerror();
    }
    ~LoadedLibrary() {
        if (handle_) dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    template <typename Function>
    Function function(const char* name) const {
        return reinterpret_cast<Function>(dlsym(handle_, name));
    }

private:
    void* handle_;
    std::string error_;
};
