#pragma once

#include <string>

// Strict readings of numbers typed by a person: the whole text must be the
// number, and it must fit.
bool parseWholeNumber(const std::string& text, int& value);
bool parseRealNumber(const std::string& text, double& value);
