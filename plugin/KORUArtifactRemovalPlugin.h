#pragma once

#include "plugin/LMPluginInterface.h"

// The plug-in object. It holds no state: every run binds the host anew and
// keeps everything it needs in the run itself, so execute may be called again.
class KORU_EXPORT KORUArtifactRemovalPlugin : public LMPluginInterface {
public:
    KORUArtifactRemovalPlugin();
    ~KORUArtifactRemovalPlugin() override;

    // One artifact removal run; returns its result. Never throws.
    bool execute() override;
    // Does nothing; returns true.
    bool initPlugin() override;
    // Always true.
    bool isAvailable() const;
};
