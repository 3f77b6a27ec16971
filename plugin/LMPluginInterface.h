#pragma once

// The plug-in contract between the host application and this module. Hosts
// (the real one, our Linux host program and the test hosts) include this
// header and find the functions below in the loaded module by name.

#include "plugin/plugin_export.h"

// Abstract base of every plug-in object. The module defines its members and
// its virtual table; the host drives the object only through it. An object
// consists of its dispatch pointer and nothing else.
class KORU_EXPORT LMPluginInterface {
public:
    LMPluginInterface();
    LMPluginInterface(const LMPluginInterface&);
    virtual ~LMPluginInterface();
    // Copies nothing (there is nothing to copy) and returns *this.
    LMPluginInterface& operator=(const LMPluginInterface&);

    // One complete, self-contained run of the plug-in. Returns the run's result.
    virtual bool execute() = 0;
    // Called by the host before execute, at its discretion.
    virtual bool initPlugin() = 0;
};

extern "C" {

// A new plug-in object, allocated by the module. The host owns it and
// destroys it with delete through the LMPluginInterface pointer, which returns
// the memory to the module's allocator. Null when no memory could be had.
KORU_EXPORT LMPluginInterface* createPlugin();

// Descriptive texts. They may be called at any time, with or without an
// object, and have no side effects. The returned texts are owned by the
// module and stay valid while it is loaded; do not change or free them.
// None of them is ever null.
KORU_EXPORT const char* getPluginName();
KORU_EXPORT const char* getPluginDescription();
KORU_EXPORT const char* getAuthor();
KORU_EXPORT const char* getHelpFile();
KORU_EXPORT const char* getPluginVersion();
KORU_EXPORT const char* getGUIScript();

// The smaller of x and y: x when y >= x, otherwise y (so y whenever either is
// not a number). See plugin_fmin.cpp for why the module exports this name.
KORU_EXPORT double fmin(double x, double y);
}
