#include "run_test_host.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "host/host_contract.h"
#include "obs_test_support.h"
#include "plugin/LMPluginInterface.h"

namespace {

HostScript script;
std::vector<std::string> calls;
int documentMarker = 0;

// No text of the run holds a quote or a backslash; line breaks are shown escaped.
std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p; ++p) out += *p == '\n' ? std::string("\\n") : std::string(1, *p);
    return out + "\"";
}

// The next scripted answer, or `fallback` when the script has none left.
template <typename Answer>
Answer nextAnswer(std::deque<Answer>& answers, Answer fallback) {
    if (answers.empty()) return fallback;
    Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace

extern "C" {

// The calls that take nothing and answer nothing are only recorded.
#define RECORDED_CALL(name)     \
    void name() {               \
        calls.push_back(#name); \
    }
RECORDED_CALL(ztShowLogTab)
RECORDED_CALL(ztUpdateActiveWindow)
RECORDED_CALL(ztShowBusyCursor)
RECORDED_CALL(ztStopBusyCursor)
RECORDED_CALL(ztClearProtocol)

void ztGetVersionOfLumatraZT(int* major, int* minor, int* release) {
    calls.push_back("ztGetVersionOfLumatraZT");
    *major = script.version[0];
    *minor = script.version[1];
    *release = script.version[2];
}

void ztLogText(const char* text) {
    calls.push_back("ztLogText " + quoted(text));
    if (script.onLogLine) script.onLogLine(text);
}

void ztMessageBox(const char* text) {
    calls.push_back("ztMessageBox " + quoted(text));
}

int ztGetIntegerInput(const char* prompt, int defaultValue, int minimum, int maximum) {
    const int answer = nextAnswer(script.integers, defaultValue);
    calls.push_back("ztGetIntegerInput " + quoted(prompt) + " " + std::to_string(defaultValue) +
                    " " + std::to_string(minimum) + " " + std::to_string(maximum) + " -> " +
                    std::to_string(answer));
    return answer;
}

int ztGetOpenFileName(const char* prompt, const char* second, const char* filter, char* path256) {
    const std::string answer = nextAnswer(script.files, std::string());
    std::snprintf(path256, 256, "%s", answer.c_str());
    calls.push_back("ztGetOpenFileName " + quoted(prompt) + " " + quoted(second) + " " +
                    quoted(filter) + " -> " + (answer.empty() ? "0" : "1 " + quoted(path256)));
    return answer.empty() ? 0 : 1;
}

void* ztGetCurrentVMR(int* a, int* b, int* c) {
    *a = *b = *c = 0;
    calls.push_back(std::string("ztGetCurrentVMR -> ") +
                    (script.hasDocument ? "document" : "null"));
    return script.hasDocument ? &documentMarker : nullptr;
}

int ztLoadProtocol(const char* path) {
    calls.push_back("ztLoadProtocol " + quoted(path));
    return script.protocolApplies ? 1 : 0;
}

int ztGetProtocol(void* protocolRecord) {
    calls.push_back(std::string("ztGetProtocol -> ") + (script.protocolApplies ? "1" : "0"));
    if (!script.protocolApplies) return 0;
    ProtocolRecord protocol;
    std::memset(&protocol, 0x5a, sizeof protocol);  // host data the plug-in must not need
    protocol.NrOfConditions = static_cast<int32_t>(script.conditions.size());
    std::snprintf(protocol.ExperimentName, sizeof protocol.ExperimentName, "Gradient run");
    protocol.TimeUnit = script.timeUnit;
    std::memcpy(protocolRecord, &protocol, sizeof protocol);
    return 1;
}

int ztGetProtocolCondition(int index, void* conditionRecord) {
    calls.push_back("ztGetProtocolCondition " + std::to_string(index));
    if (index < 0 || static_cast<std::size_t>(index) >= script.conditions.size()) return 0;
    auto& [name, positions] = script.conditions[static_cast<std::size_t>(index)];
    ConditionRecord condition;
    std::memset(&condition, 0x5a, sizeof condition);
    std::snprintf(condition.ConditionName, sizeof condition.ConditionName, "%s", name.c_str());
    condition.NrOfIntervals = static_cast<int32_t>(positions.size());
    condition.IntervalPositions = positions.data();
    std::memcpy(conditionRecord, &condition, sizeof condition);
    return 1;
}

// The plug-in asks only for C = A * A^T (B is A, not transposed, B
// transposed), which a plain loop gives; C is overwritten.
void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m, int n, int k,
                                   bool transA, bool transB) {
    calls.push_back("zt_intel_matrix_matrix_mult_d " + std::to_string(m) + " " + std::to_string(n) +
                    " " + std::to_string(k) + " " + std::to_string(transA) + " " +
                    std::to_string(transB));
    // Any other product shows in the call above.
    if (A == B && m == n && !transA && transB) productWithTranspose(A, C, m, k);
}

// Bound by the plug-in but never called by the run.
void zt_intel_matrix_matrix_mult_f(const float*, const float*, float*, int, int, int, bool, bool) {}
void zt_intel_matrix_vector_mult_f(const float*, const float*, float*, int, int, bool) {}
void zt_intel_matrix_vector_mult_d(const double*, const double*, double*, int, int, bool) {}
}

std::vector<std::string> runPlugin(HostScript answers) {
    script = std::move(answers);
    calls.clear();
    rlimit fileSizes{}, addressSpace{};
    getrlimit(RLIMIT_FSIZE, &fileSizes);
    getrlimit(RLIMIT_AS, &addressSpace);
    static void* const module = dlopen(KORU_PLUGIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!module) return {"cannot load the plug-in module"};
    using CreatePlugin = LMPluginInterface* (*)();
    LMPluginInterface* plugin = reinterpret_cast<CreatePlugin>(dlsym(module, "createPlugin"))();
    const bool result = plugin->execute();
    delete plugin;
    setrlimit(RLIMIT_FSIZE, &fileSizes);
    setrlimit(RLIMIT_AS, &addressSpace);
    calls.push_back(std::string("execute -> ") + (result ? "true" : "false"));
    return calls;
}
