#pragma once

// Ctrl-C (SIGINT), SIGTERM and SIGHUP while the plug-in runs end the process
// at once with exit status 128 + the signal's number (130, 143, 129), after
// removing the files the run has begun and not finished: a half-corrected
// copy of full size would otherwise look like a result. The plug-in runs on
// this thread and cannot be stopped in between, so the files are removed from
// the signal handler itself, with nothing but calls that are safe there.

#include <string>

// Installs the handlers for the length of one run; the previous handlers
// come back with endInterruptibleRun. Calls may nest: only the outermost pair
// installs and restores, and paths stay guarded until it ends.
void beginInterruptibleRun();

// The run is about to write path. An interruption removes it unless it is
// still exactly as it was now (a file the run never got to, such as the result
// of an earlier run, stays). At most eight paths per run; further ones are
// not guarded.
void removeOnInterruption(const std::string& path);

// The run is over: nothing is removed any more and the handlers are restored.
void endInterruptibleRun();

// One interruptible piece of work for the life of a scope: a command that
// writes files (generate, convert) guards them like a run.
struct InterruptibleScope {
    InterruptibleScope() { beginInterruptibleRun(); }
    ~InterruptibleScope() { endInterruptibleRun(); }
    InterruptibleScope(const InterruptibleScope&) = delete;
    InterruptibleScope& operator=(const InterruptibleScope&) = delete;
};
