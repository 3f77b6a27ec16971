#include "hostprogram/support/file_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool isReadableFile(const std::string& path, std::string& why) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        why = "is a folder, not a file";
        return false;
    }
    if (access(path.c_str(), R_OK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

bool openForReading(const std::string& path, std::ifstream& file, uint64_t& size,
                    std::string& error) {
    std::string why;
    if (!isReadableFile(path, why)) {
        error = path + ": " + why;
        return false;
    }
    file.open(path, std::ios::binary);
    if (file) file.seekg(0, std::ios::end);
    const std::streamoff end = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    file.seekg(0, std::ios::beg);
    if (end < 0 || !file) {
        error = path + ": cannot be read";
        return false;
    }
    size = static_cast<uint64_t>(end);
    return true;
}
