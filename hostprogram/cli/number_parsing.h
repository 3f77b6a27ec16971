#pragma once

#include <string>
#include <vector>

// Strict readings of numbers typed by a person: the whole text must be the
// number, and it must fit.
bool parseWholeNumber(const std::string& text, int& value);
bool parseRealNumber(const std::string& text, double& value);

// "1,3,5-8": one-based channel numbers, ranges inclusive, in the order given.
bool parseChannelList(const std::string& text, std::vector<int>& channels);
