// Finding the host on POSIX systems. The host is an object already loaded into
// the process (usually the main executable, in tests also a library) whose
// file name is the host's name, with or without the ".exe" ending that the
// name carries on the host's own platform.

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "host/host_lookup.h"

namespace {

std::string fileNameOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string mainExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(length));
}

bool nameMatches(const std::string& candidate, const std::string& wanted) {
    if (candidate == wanted) return true;
    const std::string ending = ".exe";
    return wanted.size() > ending.size() &&
           wanted.compare(wanted.size() - ending.size(), ending.size(), ending) == 0 &&
           candidate == wanted.substr(0, wanted.size() - ending.size());
}

struct Search {
    std::string wanted;
    std::string mainPath;
    bool found = false;
    bool isMain = false;
    std::string path;
};

int visitObject(dl_phdr_info* info, size_t, void* data) {
    Search& search = *static_cast<Search*>(data);
    // The main executable is listed first, with an empty name.
    bool isMain = info->dlpi_name == nullptr || info->dlpi_name[0] == '\0';
    std::string path = isMain ? search.mainPath : std::string(info->dlpi_name);
    if (path.empty() || !nameMatches(fileNameOf(path), search.wanted)) return 0;
    search.found = true;
    search.isMain = isMain;
    search.path = path;
    return 1;
}

}  // namespace

LoadedModule findLoadedModule(const char* fileName) {
    Search search;
    search.wanted = fileName;
    search.mainPath = mainExecutablePath();
    dl_iterate_phdr(visitObject, &search);
    LoadedModule module;
    if (!search.found) return module;
    // RTLD_NOLOAD hands out a handle to an object that is already there and
    // never loads one.
    module.handle = search.isMain ? dlopen(nullptr, RTLD_LAZY)
                                  : dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    return module;
}

void* findModuleFunction(const LoadedModule& module, const char* name) {
    if (!module.handle) return nullptr;
    void* address = dlsym(module.handle, name);
    if (!address) return nullptr;
    // dlsym also searches the object's dependencies (and, for the main
    // program, the whole global scope); only the object's own export counts.
    link_map* owner = nullptr;
    link_map* object = nullptr;
    Dl_info info;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) == 0 ||
        dlinfo(module.handle, RTLD_DI_LINKMAP, &object) != 0 || owner != object)
        return nullptr;
    return address;
}

void releaseLoadedModule(LoadedModule& module) {
    if (module.handle) dlclose(module.handle);
    module.handle = nullptr;
}
