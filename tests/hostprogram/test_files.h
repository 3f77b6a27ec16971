#pragma once

// Checks of the files that the host program's tests make.

#include <cstdlib>
#include <string>

#include "tests/support/temporary_folder.h"

inline std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Strict well-formedness check of an XML (or XHTML) file by python3's
// expat-based parser: what a browser would silently repair fails here, and
// the parser's message lands in the test's output.
inline bool isWellFormedXml(const std::string& path) {
    const std::string command =
        "python3 -c \"import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])\" '" + path +
        "'";
    return std::system(command.c_str()) == 0;
}

#ifdef LUMATRAZT_PATH
#include <sys/wait.h>

// LumatraZT run in folder with arguments, standard input empty, standard
// output and error in the folder's out.txt and err.txt; its exit status.
inline int runLumatraZTIn(const TemporaryFolder& folder, const std::string& arguments) {
    const std::string command = "cd '" + folder.path + "' && '" LUMATRAZT_PATH "' " + arguments +
                                " < /dev/null > out.txt 2> err.txt";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif
