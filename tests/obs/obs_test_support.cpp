#include "obs_test_support.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "koru-obs-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("cannot make a temporary folder");
    path_ = buffer.data();
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

void appendU32(std::string& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((value >> shift) & 0xffu);
}

void appendF32(std::string& bytes, float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendU32(bytes, bits);
}

uint32_t u32At(const std::string& bytes, std::size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) |
                static_cast<unsigned char>(bytes.at(offset + static_cast<std::size_t>(i)));
    return value;
}

float f32At(const std::string& bytes, std::size_t offset) {
    uint32_t bits = u32At(bytes, offset);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Header of a float recording without compression or blocks: 32 bytes.
constexpr std::size_t kHeaderBytes = 32;

}  // namespace

void writeTestRecording(const std::string& path, const TestRecording& recording) {
    const uint32_t channels = static_cast<uint32_t>(recording.channels.size());
    const uint32_t samples = channels ? static_cast<uint32_t>(recording.channels[0].size()) : 0;
    std::string bytes;
    appendU32(bytes, recording.fileVersion);
    appendU32(bytes, 0);  // CompressionType
    appendU32(bytes, 1);  // DataType: float
    appendU32(bytes, recording.sampleOrdering);
    appendU32(bytes, channels);
    appendU32(bytes, samples);
    appendF32(bytes, recording.samplingFrequency);
    appendU32(bytes, 0);  // NrOfBlocks
    if (recording.sampleOrdering == 2) {
        for (uint32_t s = 0; s < samples; ++s)
            for (uint32_t c = 0; c < channels; ++c) appendF32(bytes, recording.channels[c][s]);
    } else {
        for (uint32_t c = 0; c < channels; ++c)
            for (uint32_t s = 0; s < samples; ++s) appendF32(bytes, recording.channels[c][s]);
    }
    writeFileBytes(path, bytes);
}

TestRecording readTestRecording(const std::string& path) {
    const std::string bytes = readFileBytes(path);
    TestRecording recording;
    recording.fileVersion = u32At(bytes, 0);
    recording.sampleOrdering = u32At(bytes, 12);
    const uint32_t channels = u32At(bytes, 16);
    const uint32_t samples = u32At(bytes, 20);
    recording.samplingFrequency = f32At(bytes, 24);
    recording.channels.assign(channels, std::vector<float>(samples));
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t s = 0; s < samples; ++s) {
            const std::size_t element =
                recording.sampleOrdering == 2 ? s * channels + c : c * samples + s;
            recording.channels[c][s] = f32At(bytes, kHeaderBytes + 4 * element);
        }
    return recording;
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

HostRun runTestHost(const TemporaryFolder& folder, const std::string& script,
                    const std::string& hostPath) {
    const std::string scriptPath = folder.file("host-script.txt");
    const std::string transcriptPath = folder.file("host-transcript.txt");
    writeFileBytes(scriptPath, script);
    std::remove(transcriptPath.c_str());

    std::vector<std::string> arguments = {hostPath, scriptPath, transcriptPath};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    HostRun run;
    if (posix_spawn(&child, hostPath.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);

    std::ifstream transcript(transcriptPath);
    std::string line;
    while (std::getline(transcript, line)) run.calls.push_back(line);
    return run;
}

HostRun runTestHost(const TemporaryFolder& folder, const std::string& script) {
    return runTestHost(folder, script, OBS_TEST_HOST_PATH);
}

std::string copyOfTestHostNamed(const TemporaryFolder& folder, const std::string& name) {
    const std::string copy = folder.file(name);
    std::filesystem::copy_file(OBS_TEST_HOST_PATH, copy,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    return copy;
}

std::vector<std::string> logLines(const std::vector<std::string>& calls) {
    std::vector<std::string> lines;
    const std::string prefix = "ztLogText \"";
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(call.substr(prefix.size(), call.size() - prefix.size() - 1));
    return lines;
}

std::vector<std::string> callsStartingWith(const std::vector<std::string>& calls,
                                           const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
    return found;
}

void writeEpochedTestRecording(const std::string& path) {
    std::string bytes;
    for (uint32_t field : {1u, 0u, 1u, 3u, 1u, 10u}) appendU32(bytes, field);
    appendF32(bytes, 1000.0f);
    for (uint32_t field : {1u, 1u, 2u, 3u})
        appendU32(bytes, field);  // one block: 1 trial, 2 + 3 samples
    for (int s = 0; s < 5; ++s) appendF32(bytes, static_cast<float>(s));
    writeFileBytes(path, bytes);
}
