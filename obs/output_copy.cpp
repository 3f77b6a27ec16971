#include "obs/output_copy.h"

#include <cstdio>
#include <vector>

namespace {

// C streams report every failure through their results, and fclose reports
// whether the buffered bytes reached the file.
bool transferAll(std::FILE* input, std::FILE* output) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        std::size_t count = std::fread(buffer.data(), 1, buffer.size(), input);
        if (count > 0 && std::fwrite(buffer.data(), 1, count, output) != count) return false;
        if (count < buffer.size()) return std::ferror(input) == 0 && std::feof(input) != 0;
    }
}

}  // namespace

bool copyFileChecked(const std::string& inputPath, const std::string& outputPath) {
    std::FILE* input = std::fopen(inputPath.c_str(), "rb");
    if (!input) return false;
    std::FILE* output = std::fopen(outputPath.c_str(), "wb");
    if (!output) {
        std::fclose(input);
        return false;
    }
    bool copied = transferAll(input, output);
    std::fclose(input);
    if (std::fclose(output) != 0) copied = false;
    if (!copied) std::remove(outputPath.c_str());
    return copied;
}
