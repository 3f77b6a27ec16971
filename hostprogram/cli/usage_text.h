#pragma once

#include <string>

// The --help text, written for a person; the dialogue's defaults and bounds in
// it are the run's own.
std::string usageText();
