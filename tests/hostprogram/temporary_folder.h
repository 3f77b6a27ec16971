#pragma once

// A fresh folder per test, removed again afterwards, also after a failure.

#include <cstdlib>
#include <filesystem>
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
