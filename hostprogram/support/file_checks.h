#pragma once

#include <cstdint>
#include <fstream>
#include <string>

// True when path names a regular file this process can read; otherwise why
// says what is wrong in words for the user.
bool isReadableFile(const std::string& path, std::string& why);

// Opens a readable regular file for binary reading and tells its size. False
// with error "<path>: <why>" otherwise.
bool openForReading(const std::string& path, std::ifstream& file, uint64_t& size,
                    std::string& error);
