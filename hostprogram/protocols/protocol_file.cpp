#include "hostprogram/protocols/protocol_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "hostprogram/protocols/protocol_parser.h"
#include "hostprogram/support/file_checks.h"

namespace {

// Protocols are small text files; anything far larger is not one.
constexpr uint64_t kMaxProtocolBytes = 512LL * 1024 * 1024;

}  // namespace

bool loadProtocolFile(const std::string& path, Protocol& protocol, std::string& error) {
    protocol = Protocol();
    std::ifstream file;
    uint64_t size = 0;
    if (!openForReading(path, file, size, error)) return false;
    if (size > kMaxProtocolBytes) {
        error = path + ": too large for a protocol file";
        return false;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    const std::string text = contents.str();
    if (looksLikeTriggerList(text)) return parseTriggerList(text, path, protocol, error);
    return parseProtocolText(text, path, protocol, error);
}

bool writeProtocolFile(const std::string& path, const Protocol& protocol) {
    std::ofstream file(path);
    if (!file) return false;
    file << "# Protocol of the KORU host program: every interval line is the start and\n"
            "# the end of one occurrence; the plug-in reads the start.\n";
    file << "experiment: " << protocol.experimentName << "\n";
    file << "time-unit: " << (protocol.timeUnit == TimeUnit::kSamples ? "samples" : "microseconds")
         << "\n";
    for (const ProtocolCondition& condition : protocol.conditions) {
        file << "\ncondition: " << condition.name << "\n";
        for (std::size_t i = 0; i < condition.starts.size(); ++i)
            file << condition.starts[i] << " " << condition.ends[i] << "\n";
    }
    file.flush();
    return static_cast<bool>(file);
}

bool writeTriggerListFile(const std::string& path, const std::vector<int64_t>& samples,
                          const std::string& comment) {
    std::ofstream file(path, std::ios::trunc);
    if (!comment.empty()) file << "# " << comment << '\n';
    for (int64_t sample : samples) file << sample << '\n';
    file.close();
    if (file.fail()) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}
