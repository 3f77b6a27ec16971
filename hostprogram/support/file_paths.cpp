#include "hostprogram/support/file_paths.h"

std::string::size_type extensionStart(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string::size_type dot = path.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? path.size()
                                                                                   : dot;
}
