#pragma once

#include <string>

// The text without blanks, tabs and line-end characters at either end.
inline std::string trimmedText(const std::string& text) {
    const char* const kBlank = " \t\r\n\f\v";
    std::string::size_type first = text.find_first_not_of(kBlank);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}
