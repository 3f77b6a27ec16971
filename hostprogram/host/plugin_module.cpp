#include "hostprogram/host/plugin_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "plugin/LMPluginInterface.h"

namespace {

template <typename Function>
void findExport(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
}

const char* textOrEmpty(const char* (*function)()) {
    const char* text = function ? function() : nullptr;
    return text ? text : "";
}

}  // namespace

std::string defaultModulePath() {
    const std::string moduleName = "KORUArtifactRemovalPlugin.so";
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return moduleName;
    std::string executable(buffer, static_cast<std::size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1) + moduleName;
}

bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error) {
    module = PluginModule();
    // dlopen searches the library path for a bare name; a name the user gave
    // means that file.
    std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    module.handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module.handle) {
        const char* reason = dlerror();
        error = "cannot load the plug-in module " + path + ": " + (reason ? reason : "unknown");
        return false;
    }
    module.path = path;
    findExport(module.handle, "createPlugin", module.createPlugin);
    findExport(module.handle, "getPluginName", module.getPluginName);
    findExport(module.handle, "getPluginDescription", module.getPluginDescription);
    findExport(module.handle, "getAuthor", module.getAuthor);
    findExport(module.handle, "getHelpFile", module.getHelpFile);
    findExport(module.handle, "getPluginVersion", module.getPluginVersion);
    findExport(module.handle, "getGUIScript", module.getGUIScript);
    if (!module.createPlugin) {
        error = path + " is not a plug-in module: it has no createPlugin";
        unloadPluginModule(module);
        return false;
    }
    return true;
}

void unloadPluginModule(PluginModule& module) {
    if (module.handle) dlclose(module.handle);
    module = PluginModule();
}

void printPluginTexts(const PluginModule& module, std::FILE* out) {
    std::fprintf(out, "Module:      %s\n", module.path.c_str());
    std::fprintf(out, "Name:        %s\n", textOrEmpty(module.getPluginName));
    std::fprintf(out, "Version:     %s\n", textOrEmpty(module.getPluginVersion));
    std::fprintf(out, "Author:      %s\n", textOrEmpty(module.getAuthor));
    std::fprintf(out, "Description: %s\n", textOrEmpty(module.getPluginDescription));
    std::fprintf(out, "Help file:   %s\n", textOrEmpty(module.getHelpFile));
    std::fprintf(out, "GUI script:  %s\n", textOrEmpty(module.getGUIScript));
}

PluginRunResult runPluginOnce(const PluginModule& module) {
    LMPluginInterface* plugin = module.createPlugin();
    if (!plugin) return PluginRunResult::kNoObject;
    plugin->initPlugin();
    const bool result = plugin->execute();
    // The module's own deleting destructor returns the memory to its allocator.
    delete plugin;
    return result ? PluginRunResult::kReturnedTrue : PluginRunResult::kReturnedFalse;
}
