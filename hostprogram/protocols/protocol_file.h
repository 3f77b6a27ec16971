#pragma once

// Protocol files on disk: reading either kind, and writing the .prt format.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/protocols/protocol.h"

// Reads a .prt protocol or a plain trigger list (told apart by their first
// line). On failure error says which file and line is wrong and why.
bool loadProtocolFile(const std::string& path, Protocol& protocol, std::string& error);

// Writes protocol in the .prt format; false when the file cannot be written.
bool writeProtocolFile(const std::string& path, const Protocol& protocol);

// Writes a plain trigger list, one zero-based sample a line, after comment
// (if any) as a '#' line. False, with nothing left, when it cannot be written.
bool writeTriggerListFile(const std::string& path, const std::vector<int64_t>& samples,
                          const std::string& comment = std::string());
