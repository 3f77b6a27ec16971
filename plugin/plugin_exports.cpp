#include <new>

#include "plugin/KORUArtifactRemovalPlugin.h"

namespace {

// Held through a pointer that nothing in the module changes, as the host
// contract describes it.
const char* const kHelpLink =
    "Please check the <a href=\"KORUPluginHelp/index.html\"><b>EEG/MEG distributed solution "
    "plugin online help</b></a><br>";

}  // namespace

extern "C" {

LMPluginInterface* createPlugin() {
    return new (std::nothrow) KORUArtifactRemovalPlugin();
}

const char* getPluginName() {
    return "EEG/MEG artifact removal with optimal basis set (OBS) approach ...";
}

const char* getPluginDescription() {
    return kHelpLink;
}

const char* getAuthor() {
    return "<i>KORU Suite developers</i>";
}

const char* getHelpFile() {
    return "";
}

const char* getPluginVersion() {
    return "0.0";
}

const char* getGUIScript() {
    return "";
}
}
