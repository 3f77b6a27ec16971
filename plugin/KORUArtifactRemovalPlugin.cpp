#include "plugin/KORUArtifactRemovalPlugin.h"

#include "run/artifact_removal_run.h"

KORUArtifactRemovalPlugin::KORUArtifactRemovalPlugin() = default;

KORUArtifactRemovalPlugin::~KORUArtifactRemovalPlugin() = default;

bool KORUArtifactRemovalPlugin::execute() {
    // The host calls us across a C++ boundary that must never see an exception.
    try {
        return runArtifactRemoval();
    } catch (...) {
        return false;
    }
}

bool KORUArtifactRemovalPlugin::initPlugin() {
    return true;
}

bool KORUArtifactRemovalPlugin::isAvailable() const {
    return true;
}
