#pragma once

// Parsing the two protocol texts the host accepts: its own .prt format and a
// plain trigger list. On failure, error is "<file>:<line>: <why>" and the
// protocol is left empty.

#include <string>

#include "hostprogram/protocols/protocol.h"

bool parseProtocolText(const std::string& text, const std::string& fileName, Protocol& protocol,
                       std::string& error);

// One zero-based sample number per line; blank lines and lines starting with
// '#' are skipped. Becomes one condition of zero-length intervals in samples.
bool parseTriggerList(const std::string& text, const std::string& fileName, Protocol& protocol,
                      std::string& error);

// True when the first line that is not blank or a comment starts like a
// number: the text is then read as a trigger list.
bool looksLikeTriggerList(const std::string& text);
