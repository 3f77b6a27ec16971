#pragma once

// The plug-in module as the host sees it: loaded with dlopen, its exports
// found by name, its object driven through the base class.

#include <cstdio>
#include <string>

class LMPluginInterface;

struct PluginModule {
    void* handle = nullptr;
    std::string path;
    LMPluginInterface* (*createPlugin)() = nullptr;
    const char* (*getPluginName)() = nullptr;
    const char* (*getPluginDescription)() = nullptr;
    const char* (*getAuthor)() = nullptr;
    const char* (*getHelpFile)() = nullptr;
    const char* (*getPluginVersion)() = nullptr;
    const char* (*getGUIScript)() = nullptr;
};

// The module beside this executable, where the build places it.
std::string defaultModulePath();

// Loads the module (RTLD_NOW | RTLD_LOCAL) and finds its exports. False with
// error when it cannot be loaded or lacks createPlugin.
bool loadPluginModule(const std::string& path, PluginModule& module, std::string& error);
void unloadPluginModule(PluginModule& module);

// Prints the module's descriptive texts.
void printPluginTexts(const PluginModule& module, std::FILE* out);

enum class PluginRunResult { kReturnedTrue, kReturnedFalse, kNoObject };

// createPlugin, initPlugin, execute, then delete through the base class.
PluginRunResult runPluginOnce(const PluginModule& module);
