#pragma once

// Channels a run on a CTC file must leave as they were (the ECG channel the
// triggers came from, the channels the user excludes). The plug-in corrects
// every channel of the file it is given, and each channel on its own, so
// those channels are put back afterwards: their stored elements are copied
// from the input into the corrected copy, bit for bit, whatever the data
// type and sample ordering.

#include <string>
#include <vector>

// channels: zero-based. The corrected copy must have the input's header.
// False with error "<file>: <why>" when a file cannot be read or written or
// the two are not of one layout.
bool restoreCtcChannels(const std::string& inputPath, const std::string& correctedPath,
                        const std::vector<int>& channels, std::string& error);
