#pragma once

// A recording's markers as the protocol of a run: a condition per distinct
// marker, named as MNE-Python names it, in the order of those names (as info
// lists them), each interval a marker's zero-based samples.

#include <string>
#include <vector>

#include "hostprogram/protocols/protocol.h"
#include "hostprogram/recordings/recording.h"

// The plug-in names the trial list after the condition it is given, so the
// protocol carries names a file name can hold ("Response/R128" becomes
// "Response_R128", made unique); names keeps MNE-Python's for -c and for
// people.
struct MarkerConditions {
    std::string label;               // what the protocol question is answered with
    Protocol protocol;               // with the file-safe names
    std::vector<std::string> names;  // MNE-Python's, per condition
};

// label: what the host answers the plug-in's protocol question with;
// experimentName: the protocol's.
MarkerConditions markerConditionsOf(const RecordingInfo& info, const std::string& label,
                                    const std::string& experimentName);

// name with every '/' (which a file name cannot hold) as '_'.
std::string fileSafeConditionName(const std::string& name);
