#include "obs_test_support.h"

#include <cstring>

uint32_t bitsOf(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::string bytesOfWords(const std::vector<uint32_t>& words) {
    return std::string(reinterpret_cast<const char*>(words.data()), 4 * words.size());
}

// Element s of channel c in the sample part, for either continuous ordering.
static std::size_t elementOf(uint32_t ordering, std::size_t channels, std::size_t samples,
                             std::size_t c, std::size_t s) {
    return ordering == 2 ? s * channels + c : c * samples + s;
}

void writeTestRecording(const std::string& path, const TestRecording& recording) {
    const std::size_t channels = recording.channels.size();
    const std::size_t samples = channels ? recording.channels[0].size() : 0;
    std::vector<uint32_t> words = {recording.fileVersion,
                                   0,  // CompressionType
                                   1,  // DataType: float
                                   recording.sampleOrdering,
                                   static_cast<uint32_t>(channels),
                                   static_cast<uint32_t>(samples),
                                   bitsOf(recording.samplingFrequency),
                                   0};  // NrOfBlocks
    words.resize(8 + channels * samples);
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t s = 0; s < samples; ++s)
            words[8 + elementOf(recording.sampleOrdering, channels, samples, c, s)] =
                bitsOf(recording.channels[c][s]);
    writeFile(path, bytesOfWords(words));
}

TestRecording readTestRecording(const std::string& path) {
    const std::string bytes = readFile(path);
    std::vector<float> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), 4 * words.size());
    TestRecording recording{bitsOf(words.at(0)), bitsOf(words.at(3)), words.at(6), {}};
    const std::size_t channels = bitsOf(words.at(4)), samples = bitsOf(words.at(5));
    recording.channels.assign(channels, std::vector<float>(samples));
    for (std::size_t c = 0; c < channels; ++c)
        for (std::size_t s = 0; s < samples; ++s)
            recording.channels[c][s] =
                words.at(8 + elementOf(recording.sampleOrdering, channels, samples, c, s));
    return recording;
}

std::vector<int32_t> positionsFrom(int count, int32_t first, int32_t spacing) {
    std::vector<int32_t> positions;
    for (int t = 0; t < count; ++t) positions.push_back(first + t * spacing);
    return positions;
}

void productWithTranspose(const double* A, double* C, int m, int k) {
    for (long i = 0; i < m; ++i)
        for (long j = 0; j < m; ++j) {
            double sum = 0.0;
            for (long r = 0; r < k; ++r) sum += A[i * k + r] * A[j * k + r];
            C[i * m + j] = sum;
        }
}
