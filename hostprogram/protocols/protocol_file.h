#pragma once

// Protocol files on disk: reading either kind, and writing the .prt format.

#include <string>

#include "hostprogram/protocols/protocol.h"

// Reads a .prt protocol or a plain trigger list (told apart by their first
// line). On failure error says which file and line is wrong and why.
bool loadProtocolFile(const std::string& path, Protocol& protocol, std::string& error);

// Writes protocol in the .prt format; false when the file cannot be written.
bool writeProtocolFile(const std::string& path, const Protocol& protocol);
