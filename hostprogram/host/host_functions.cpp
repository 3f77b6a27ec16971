// The host functions the plug-in binds by name in this executable. Each one
// serves the active session; without one (no run in progress) dialogues
// cancel and log lines go to standard output.

#include "hostprogram/host/host_functions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "hostprogram/host/answer_dialogs.h"
#include "hostprogram/host/host_export.h"
#include "hostprogram/host/host_session.h"
#include "hostprogram/protocols/protocol_file.h"

namespace {

// The "current document" the plug-in asks for: the host has no documents,
// but a run needs one to exist.
int currentDocument = 0;

// Copies text into a record's text field, cut to fit and always terminated.
template <std::size_t Capacity>
void fillText(char (&field)[Capacity], const std::string& text, std::size_t maxLength) {
    std::memset(field, 0, Capacity);
    std::memcpy(field, text.data(), std::min({text.size(), maxLength, Capacity - 1}));
}

}  // namespace

extern "C" {

HOST_EXPORT void ztGetVersionOfLumatraZT(int* major, int* minor, int* release) {
    if (major) *major = kHostVersionMajor;
    if (minor) *minor = kHostVersionMinor;
    if (release) *release = kHostVersionRelease;
}

HOST_EXPORT void ztShowLogTab() {}

HOST_EXPORT void ztLogText(const char* text) {
    const std::string line = text ? text : "";
    HostSession* session = activeSession();
    if (!session) {
        std::printf("%s\n", line.c_str());
        return;
    }
    if (line == kCompletionLogLine) session->completionLogged = true;
    session->log->logLine(line);
}

HOST_EXPORT void ztMessageBox(const char* text) {
    HostSession* session = activeSession();
    if (!session) {
        std::fprintf(stderr, "%s\n", text ? text : "");
        return;
    }
    session->messageBoxShown = true;
    session->log->messageBox(text ? text : "");
}

HOST_EXPORT int ztGetIntegerInput(const char* prompt, int defaultValue, int minimum, int maximum) {
    HostSession* session = activeSession();
    if (!session) return defaultValue;
    session->log->setBusy(false);
    return answerNumberQuestion(*session, prompt, defaultValue, minimum, maximum);
}

HOST_EXPORT int ztGetOpenFileName(const char* prompt, const char*, const char* filter,
                                  char* path256) {
    HostSession* session = activeSession();
    if (!session || !path256) return 0;
    session->log->setBusy(false);
    std::string path;
    if (!answerFileQuestion(*session, prompt, filter, path) || path.size() > 255) return 0;
    std::memset(path256, 0, 256);
    std::memcpy(path256, path.data(), path.size());
    return 1;
}

HOST_EXPORT void ztUpdateActiveWindow() {
    if (HostSession* session = activeSession()) session->log->flush();
}

HOST_EXPORT void ztShowBusyCursor() {
    if (HostSession* session = activeSession()) session->log->setBusy(true);
}

HOST_EXPORT void ztStopBusyCursor() {
    if (HostSession* session = activeSession()) session->log->setBusy(false);
}

HOST_EXPORT void* ztGetCurrentVMR(int* a, int* b, int* c) {
    for (int* value : {a, b, c})
        if (value) *value = 0;
    return activeSession() ? &currentDocument : nullptr;
}

HOST_EXPORT void ztClearProtocol() {
    if (HostSession* session = activeSession()) {
        session->protocol = Protocol();
        session->protocolApplied = false;
    }
}

HOST_EXPORT int ztLoadProtocol(const char* path) {
    HostSession* session = activeSession();
    if (!session) return 0;
    session->protocol = Protocol();
    session->protocolApplied = false;
    std::string error;
    if (session->markerConditions && path && session->markerConditions->label == path) {
        session->protocol = session->markerConditions->protocol;
        session->protocolApplied = true;
        return 1;
    }
    // A protocol that cannot be read leaves none applied; the plug-in then
    // says so in its words, after ours.
    if (!loadProtocolFile(path ? path : "", session->protocol, error)) {
        session->log->note("protocol not loaded: " + error);
        return 0;
    }
    session->protocolApplied = true;
    return 1;
}

HOST_EXPORT int ztGetProtocol(void* protocolRecord) {
    HostSession* session = activeSession();
    if (!session || !session->protocolApplied || !protocolRecord) return 0;
    ProtocolRecord record;
    std::memset(&record, 0, sizeof record);
    record.NrOfConditions = static_cast<int32_t>(session->protocol.conditions.size());
    fillText(record.ExperimentName, session->protocol.experimentName, kMaxExperimentNameLength);
    record.TimeUnit = session->protocol.timeUnit == TimeUnit::kSamples ? 1 : 2;
    std::memcpy(protocolRecord, &record, sizeof record);
    return 1;
}

HOST_EXPORT int ztGetProtocolCondition(int index, void* conditionRecord) {
    HostSession* session = activeSession();
    if (!conditionRecord) return 0;
    ConditionRecord record;
    std::memset(&record, 0, sizeof record);
    const bool known = session && session->protocolApplied && index >= 0 &&
                       index < static_cast<int>(session->protocol.conditions.size());
    if (known) {
        ProtocolCondition& condition = session->protocol.conditions[index];
        fillText(record.ConditionName, condition.name, kMaxConditionNameLength);
        record.NrOfIntervals = static_cast<int32_t>(condition.starts.size());
        record.IntervalPositions = condition.starts.data();
    }
    std::memcpy(conditionRecord, &record, sizeof record);
    return known ? 1 : 0;
}
}
