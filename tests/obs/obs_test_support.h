#pragma once

// Shared by the obs tests: a fresh temporary folder, small CTC recordings
// written and read back by a plain writer of the format, and the test host
// run as a subprocess.

#include <cstdint>
#include <string>
#include <vector>

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes, also after a failed test.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A continuous float recording (DataType 1, no compression, no blocks).
struct TestRecording {
    uint32_t fileVersion = 1;
    uint32_t sampleOrdering = 1;
    float samplingFrequency = 1000.0f;
    // channels[c][s]; every channel has the same number of samples.
    std::vector<std::vector<float>> channels;
};

void writeTestRecording(const std::string& path, const TestRecording& recording);
// Reads back a file written by writeTestRecording (after any correction).
TestRecording readTestRecording(const std::string& path);

std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

struct HostRun {
    int exitStatus = -1;             // of the host process; -1 when it did not exit normally
    std::vector<std::string> calls;  // the transcript, one host call per line
};

// Runs the test host executable at hostPath with the given script text.
HostRun runTestHost(const TemporaryFolder& folder, const std::string& script,
                    const std::string& hostPath);
// The test host named like the host application.
HostRun runTestHost(const TemporaryFolder& folder, const std::string& script);
// The test host copied under another file name, for hosts the plug-in must
// not take for its own.
std::string copyOfTestHostNamed(const TemporaryFolder& folder, const std::string& name);

// The texts of the log lines of a transcript, in order.
std::vector<std::string> logLines(const std::vector<std::string>& calls);
// The calls that start with `prefix`.
std::vector<std::string> callsStartingWith(const std::vector<std::string>& calls,
                                           const std::string& prefix);

// A recording of sample ordering 3 (epoched): one block of one trial.
void writeEpochedTestRecording(const std::string& path);
