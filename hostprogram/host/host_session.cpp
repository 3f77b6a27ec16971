#include "hostprogram/host/host_session.h"

#include <cstring>

namespace {

HostSession* currentSession = nullptr;

bool contains(const char* text, const char* part) {
    return text && std::strstr(text, part) != nullptr;
}

}  // namespace

HostSession* activeSession() {
    return currentSession;
}

void setActiveSession(HostSession* session) {
    currentSession = session;
}

Question classifyFileQuestion(const char* filter) {
    if (contains(filter, ".ctc")) return Question::kInputFile;
    if (contains(filter, ".prt")) return Question::kProtocolFile;
    return Question::kOther;
}

Question classifyNumberQuestion(const char* prompt) {
    if (contains(prompt, "condition")) return Question::kCondition;
    if (contains(prompt, "pre-trigger")) return Question::kPreMilliseconds;
    if (contains(prompt, "post-trigger")) return Question::kPostMilliseconds;
    if (contains(prompt, "artifacts per segment")) return Question::kArtifactsPerSegment;
    if (contains(prompt, "PCs to keep")) return Question::kComponents;
    return Question::kOther;
}
