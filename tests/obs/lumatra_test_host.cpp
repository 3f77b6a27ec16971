// A host of the test suite's own: an executable named like the host
// application, exporting the host functions the plug-in binds by name. It
// loads the real plug-in module, answers every dialog from a script, records
// every host call in order into a transcript and runs execute.
//
//     LumatraZT <script> <transcript>
//
// Script lines (one command each, answers are used in the order given):
//     version MAJOR MINOR RELEASE   host version (default 1 8 3)
//     novmr                         no current document
//     open PATH | cancel            next file dialog answer (none left: cancel)
//     integer VALUE                 next integer answer (none left: the default)
//     noprotocol                    no protocol gets applied
//     timeunit VALUE                TimeUnit of the protocol (default 1)
//     experiment NAME               experiment name (rest of the line)
//     condition NAME P1 P2 ...      a condition and its interval positions
//     runs COUNT                    number of plug-in objects run one after another
//     truncate-on TOKEN PATH BYTES  when a log line contains TOKEN, cut PATH to BYTES
//     filesize-limit-on TOKEN BYTES when a log line contains TOKEN, limit file sizes
//     address-space-limit BYTES     limit the process's memory from the start
//
// Transcript lines: the function name, its texts quoted (line breaks, quotes and
// backslashes escaped), its numbers, and "-> result" where the plug-in reads one.

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_contract.h"
#include "plugin/LMPluginInterface.h"

namespace {

struct Condition {
    std::string name;
    std::vector<int32_t> positions;
};

struct FileAction {
    std::string token;
    std::string path;  // empty for a file size limit
    long long bytes = 0;
    bool done = false;
};

struct Script {
    int version[3] = {1, 8, 3};
    bool hasDocument = true;
    std::deque<std::string> fileAnswers;  // "" means cancel
    std::deque<int> integerAnswers;
    bool protocolApplies = true;
    int32_t timeUnit = 1;
    std::string experiment = "Experiment";
    std::vector<Condition> conditions;
    int runs = 1;
    std::vector<FileAction> fileActions;
    long long addressSpaceLimit = 0;  // 0: none
};

Script script;
// Kept in memory and written when the process ends (also through exit from
// inside the module): a file size limit set by the script must not cut it.
std::vector<std::string> transcriptLines;
std::string transcriptPath;
rlimit originalFileSizeLimit{};
bool protocolLoaded = false;
int documentMarker = 0;

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            out += "\\n";
        else if (*p == '"' || *p == '\\')
            out += std::string("\\") + *p;
        else
            out += *p;
    }
    return out + "\"";
}

void record(const std::string& line) {
    transcriptLines.push_back(line);
}

void writeTranscript() {
    setrlimit(RLIMIT_FSIZE, &originalFileSizeLimit);
    std::ofstream transcript(transcriptPath, std::ios::trunc);
    for (const std::string& line : transcriptLines) transcript << line << '\n';
}

bool readScript(const char* path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string command;
        if (!(words >> command)) continue;
        if (command == "version") {
            words >> script.version[0] >> script.version[1] >> script.version[2];
        } else if (command == "novmr") {
            script.hasDocument = false;
        } else if (command == "open") {
            std::string rest;
            std::getline(words >> std::ws, rest);
            script.fileAnswers.push_back(rest);
        } else if (command == "cancel") {
            script.fileAnswers.push_back("");
        } else if (command == "integer") {
            int value = 0;
            words >> value;
            script.integerAnswers.push_back(value);
        } else if (command == "noprotocol") {
            script.protocolApplies = false;
        } else if (command == "timeunit") {
            words >> script.timeUnit;
        } else if (command == "experiment") {
            std::getline(words >> std::ws, script.experiment);
        } else if (command == "condition") {
            Condition condition;
            words >> condition.name;
            int32_t position = 0;
            while (words >> position) condition.positions.push_back(position);
            script.conditions.push_back(condition);
        } else if (command == "runs") {
            words >> script.runs;
        } else if (command == "truncate-on") {
            FileAction action;
            words >> action.token >> action.path >> action.bytes;
            script.fileActions.push_back(action);
        } else if (command == "filesize-limit-on") {
            FileAction action;
            words >> action.token >> action.bytes;
            script.fileActions.push_back(action);
        } else if (command == "address-space-limit") {
            words >> script.addressSpaceLimit;
        } else {
            std::cerr << "unknown script command: " << command << '\n';
            return false;
        }
    }
    return true;
}

void runFileActions(const char* logText) {
    for (FileAction& action : script.fileActions) {
        if (action.done || std::strstr(logText, action.token.c_str()) == nullptr) continue;
        action.done = true;
        if (!action.path.empty()) {
            if (truncate(action.path.c_str(), action.bytes) != 0) std::perror("truncate");
        } else {
            // Writes beyond the limit then fail instead of ending the process.
            std::signal(SIGXFSZ, SIG_IGN);
            // Only the soft limit, so that the transcript can be written at the end.
            rlimit limit{static_cast<rlim_t>(action.bytes), originalFileSizeLimit.rlim_max};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::perror("setrlimit");
        }
    }
}

}  // namespace

// The host functions, exported by name from this executable.
extern "C" {

void ztGetVersionOfLumatraZT(int* major, int* minor, int* release) {
    record("ztGetVersionOfLumatraZT");
    *major = script.version[0];
    *minor = script.version[1];
    *release = script.version[2];
}

void ztShowLogTab() {
    record("ztShowLogTab");
}

void ztLogText(const char* text) {
    record("ztLogText " + quoted(text));
    runFileActions(text);
}

void ztMessageBox(const char* text) {
    record("ztMessageBox " + quoted(text));
}

int ztGetIntegerInput(const char* prompt, int defaultValue, int minimum, int maximum) {
    int answer = defaultValue;
    if (!script.integerAnswers.empty()) {
        answer = script.integerAnswers.front();
        script.integerAnswers.pop_front();
    }
    record("ztGetIntegerInput " + quoted(prompt) + " " + std::to_string(defaultValue) + " " +
           std::to_string(minimum) + " " + std::to_string(maximum) + " -> " +
           std::to_string(answer));
    return answer;
}

int ztGetOpenFileName(const char* prompt, const char* second, const char* filter, char* path256) {
    std::string answer;
    if (!script.fileAnswers.empty()) {
        answer = script.fileAnswers.front();
        script.fileAnswers.pop_front();
    }
    const int chosen = answer.empty() ? 0 : 1;
    if (chosen) std::snprintf(path256, 256, "%s", answer.c_str());
    record("ztGetOpenFileName " + quoted(prompt) + " " + quoted(second) + " " + quoted(filter) +
           " -> " + std::to_string(chosen) + (chosen ? " " + quoted(path256) : ""));
    return chosen;
}

void ztUpdateActiveWindow() {
    record("ztUpdateActiveWindow");
}

void ztShowBusyCursor() {
    record("ztShowBusyCursor");
}

void ztStopBusyCursor() {
    record("ztStopBusyCursor");
}

void* ztGetCurrentVMR(int* a, int* b, int* c) {
    *a = *b = *c = 0;
    record(std::string("ztGetCurrentVMR -> ") + (script.hasDocument ? "document" : "null"));
    return script.hasDocument ? &documentMarker : nullptr;
}

void ztClearProtocol() {
    record("ztClearProtocol");
    protocolLoaded = false;
}

int ztLoadProtocol(const char* path) {
    record("ztLoadProtocol " + quoted(path));
    protocolLoaded = script.protocolApplies;
    return protocolLoaded ? 1 : 0;
}

int ztGetProtocol(void* protocolRecord) {
    record(std::string("ztGetProtocol -> ") + (protocolLoaded ? "1" : "0"));
    if (!protocolLoaded) return 0;
    ProtocolRecord protocol;
    std::memset(&protocol, 0x5a, sizeof protocol);  // host data the plug-in must not need
    protocol.NrOfConditions = static_cast<int32_t>(script.conditions.size());
    std::snprintf(protocol.ExperimentName, sizeof protocol.ExperimentName, "%s",
                  script.experiment.c_str());
    protocol.TimeUnit = script.timeUnit;
    std::memcpy(protocolRecord, &protocol, sizeof protocol);
    return 1;
}

int ztGetProtocolCondition(int index, void* conditionRecord) {
    record("ztGetProtocolCondition " + std::to_string(index));
    if (index < 0 || static_cast<std::size_t>(index) >= script.conditions.size()) return 0;
    Condition& condition = script.conditions[static_cast<std::size_t>(index)];
    ConditionRecord out;
    std::memset(&out, 0x5a, sizeof out);
    std::snprintf(out.ConditionName, sizeof out.ConditionName, "%s", condition.name.c_str());
    out.NrOfIntervals = static_cast<int32_t>(condition.positions.size());
    out.IntervalPositions = condition.positions.data();
    std::memcpy(conditionRecord, &out, sizeof out);
    return 1;
}

// C = op(A) * op(B) as a plain triple loop; C is overwritten.
void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m, int n, int k,
                                   bool transA, bool transB) {
    record("zt_intel_matrix_matrix_mult_d " + std::to_string(m) + " " + std::to_string(n) + " " +
           std::to_string(k) + " " + std::to_string(transA) + " " + std::to_string(transB));
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int r = 0; r < k; ++r) {
                const double left =
                    transA ? A[static_cast<long>(r) * m + i] : A[static_cast<long>(i) * k + r];
                const double right =
                    transB ? B[static_cast<long>(j) * k + r] : B[static_cast<long>(r) * n + j];
                sum += left * right;
            }
            C[static_cast<long>(i) * n + j] = sum;
        }
}

void zt_intel_matrix_matrix_mult_f(const float*, const float*, float*, int, int, int, bool, bool) {
    record("zt_intel_matrix_matrix_mult_f");
}

void zt_intel_matrix_vector_mult_f(const float*, const float*, float*, int, int, bool) {
    record("zt_intel_matrix_vector_mult_f");
}

void zt_intel_matrix_vector_mult_d(const double*, const double*, double*, int, int, bool) {
    record("zt_intel_matrix_vector_mult_d");
}
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: LumatraZT <script> <transcript>\n";
        return 2;
    }
    if (!readScript(argv[1])) return 2;
    transcriptPath = argv[2];
    getrlimit(RLIMIT_FSIZE, &originalFileSizeLimit);
    std::atexit(writeTranscript);
    if (script.addressSpaceLimit > 0) {
        rlimit limit{static_cast<rlim_t>(script.addressSpaceLimit),
                     static_cast<rlim_t>(script.addressSpaceLimit)};
        if (setrlimit(RLIMIT_AS, &limit) != 0) std::perror("setrlimit");
    }

    void* module = dlopen(KORU_PLUGIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::cerr << dlerror() << '\n';
        return 3;
    }
    using CreatePlugin = LMPluginInterface* (*)();
    auto createPlugin = reinterpret_cast<CreatePlugin>(dlsym(module, "createPlugin"));
    if (!createPlugin) return 3;

    for (int run = 0; run < script.runs; ++run) {
        LMPluginInterface* plugin = createPlugin();
        if (!plugin) return 3;
        const bool result = plugin->execute();
        delete plugin;
        record(std::string("execute -> ") + (result ? "true" : "false"));
        std::cout << "execute -> " << (result ? "true" : "false") << '\n';
    }
    dlclose(module);
    return 0;
}
