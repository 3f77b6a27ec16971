#pragma once

// Files for the host program's tests: a fresh folder per test, removed again
// afterwards (also after a failure), and checks of what lands in it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

struct TemporaryFolder {
    std::filesystem::path path;

    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "koru-hostprogram-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        if (made) path = made;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

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
