#include "hostprogram/ctc_writer.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace {

void appendU32(std::vector<unsigned char>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

void appendF32(std::vector<unsigned char>& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendU32(bytes, bits);
}

}  // namespace

bool writeCtcFloatFile(const std::string& path, float samplingFrequency,
                       const std::vector<std::vector<float>>& channels, int sampleOrdering) {
    const std::size_t channelCount = channels.size();
    const std::size_t sampleCount = channelCount ? channels[0].size() : 0;
    for (const auto& channel : channels)
        if (channel.size() != sampleCount) return false;
    if (sampleOrdering != 1 && sampleOrdering != 2) return false;
    std::vector<unsigned char> bytes;
    appendU32(bytes, 1);  // FileVersion
    appendU32(bytes, 0);  // CompressionType: none, so no parameter count follows
    appendU32(bytes, 1);  // DataType: float, so no offsets and scales follow
    appendU32(bytes, static_cast<uint32_t>(sampleOrdering));
    appendU32(bytes, static_cast<uint32_t>(channelCount));
    appendU32(bytes, static_cast<uint32_t>(sampleCount));
    appendF32(bytes, samplingFrequency);
    appendU32(bytes, 0);  // NrOfBlocks: continuous
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    bytes.clear();
    auto flushBytes = [&]() {
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        bytes.clear();
    };
    if (sampleOrdering == 1) {
        for (const auto& channel : channels) {
            for (float value : channel) appendF32(bytes, value);
            flushBytes();
        }
    } else {
        for (std::size_t s = 0; s < sampleCount; ++s) {
            for (const auto& channel : channels) appendF32(bytes, channel[s]);
            if (bytes.size() > (1 << 20)) flushBytes();
        }
        flushBytes();
    }
    file.close();
    return !file.fail();
}
