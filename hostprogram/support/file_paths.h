#pragma once

// Names of files made beside another: the position where a path's extension
// (its last '.' in the file name) starts, or the path's length when it has
// none, so that "sub01.vhdr" gives "sub01" and ".vhdr" to build on.

#include <string>

std::string::size_type extensionStart(const std::string& path);
