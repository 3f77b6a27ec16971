#pragma once

// EDFlib's negative result codes in words, for messages that name the file.

#include <string>

std::string edfLibraryError(int code);
