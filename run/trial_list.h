#pragma once

// The trial list (TRL): one text line per artifact occurrence, "<time in
// microseconds> <condition name>", in the order of the condition's intervals.
// Lines end with CR LF and numbers are formatted by our own code, so the file
// has the same bytes on every platform.

#include <string>

#include "host/host_contract.h"
#include "numeric/offset_array.h"

// The chosen condition's name as the run keeps it: at most 255 characters,
// whether or not the host terminated it.
std::string conditionNameOf(const ConditionRecord& condition);

// The trial list text of a time computed from a sample number (six
// significant digits, see general_number_format.h).
std::string trialTimeText(float microseconds);

// The trial list text of a time the protocol gave in microseconds.
std::string trialTimeText(int32_t microseconds);

// Fills T[0..N-1] with the trigger sample of every interval of `condition`
// and writes one trial list line per interval to trialListPath, created anew.
// A trial list that cannot be written does not stop the run: the trigger list
// is what the correction needs, and the lines are lost without notice.
void buildTriggersAndTrialList(const ConditionRecord& condition, int32_t timeUnit,
                               float samplingFrequency, const std::string& trialListPath,
                               OffsetIntVector T);
