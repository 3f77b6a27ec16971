#include "hostprogram/host/interruption.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kMostPaths = 8;

struct GuardedFile {
    char path[PATH_MAX];
    bool existed;
    struct stat before;
};

// Read by the handler: filled only while the signals are blocked.
GuardedFile guarded[kMostPaths];
volatile sig_atomic_t guardedCount = 0;
struct sigaction previous[3];
// A run of another format wraps the plug-in's run in its own (the temporary
// CTC file before it, the corrected copy after it): only the outermost
// installs and restores the handlers, and its paths stay guarded throughout.
int depth = 0;

bool unchanged(const struct stat& before, const struct stat& now) {
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
           before.st_size == now.st_size && before.st_mtim.tv_sec == now.st_mtim.tv_sec &&
           before.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

extern "C" void onInterruption(int signal) {
    for (int i = 0; i < guardedCount; ++i) {
        struct stat now;
        if (stat(guarded[i].path, &now) != 0) continue;
        if (guarded[i].existed && unchanged(guarded[i].before, now)) continue;
        unlink(guarded[i].path);
    }
    static const char kNote[] = "\nLumatraZT: interrupted; the unfinished output was removed\n";
    ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    (void)ignored;
    _exit(128 + signal);
}

// Runs change with the signals held back, so the handler never sees a
// half-written entry.
struct SignalsHeld {
    sigset_t before;
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kSignals) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &before);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before, nullptr); }
};

}  // namespace

void beginInterruptibleRun() {
    SignalsHeld held;
    if (depth++ > 0) return;
    guardedCount = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterruption;
    sigfillset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &previous[i]);
}

void removeOnInterruption(const std::string& path) {
    SignalsHeld held;
    if (guardedCount >= kMostPaths || path.size() >= PATH_MAX) return;
    GuardedFile& file = guarded[guardedCount];
    std::memcpy(file.path, path.c_str(), path.size() + 1);
    file.existed = stat(file.path, &file.before) == 0;
    guardedCount = guardedCount + 1;
}

void endInterruptibleRun() {
    SignalsHeld held;
    if (depth == 0 || --depth > 0) return;
    guardedCount = 0;
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous[i], nullptr);
}
