#pragma once

// Strict well-formedness check of an XML (or XHTML) file by python3's
// expat-based parser: what a browser would silently repair fails here.

#include <cstdlib>
#include <string>

inline bool isWellFormedXml(const std::string& path, std::string& message) {
    const std::string command =
        "python3 -c \"import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])\" '" + path +
        "' 2>&1";
    message.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) message += buffer;
    return pclose(pipe) == 0;
}
