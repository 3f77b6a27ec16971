#pragma once

// The channels a user names on the command line (--exclude), resolved
// against a recording: the names are only known once the file is open.

#include <string>
#include <vector>

#include "hostprogram/recordings/recording.h"

// LIST is comma-separated; each item is a channel's name as the recording
// gives it, or a channel number from 1 or a range of them ("33-34"); a name
// wins over a number that reads the same. Fills channels with zero-based
// info.channels indices, each once, in the order of the recording. False
// with error "<item>: <why>" for an empty item, a name the recording lacks
// or a number beyond its channels.
bool resolveChannelList(const std::string& list, const RecordingInfo& info,
                        std::vector<int>& channels, std::string& error);

// Per info.channels entry, whether a run corrects it: every channel but the
// always-excluded ones and those list names (empty: none). False with error
// as resolveChannelList gives it.
bool correctedChannelFlags(const std::string& list, const RecordingInfo& info,
                           const std::vector<bool>& alwaysExcluded, std::vector<bool>& corrected,
                           std::string& error);
