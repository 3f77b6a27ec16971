// The exit status of a finished run, from what execute returned and what the
// host saw during it, for combinations a real run cannot easily produce.

#include <gtest/gtest.h>

#include "hostprogram/run_command.h"

namespace {

TEST(RunOutcome, ExitStatusFromResultAndWhatTheHostSaw) {
    struct Case {
        bool completionLogged, cancelled, refused, messageBox, returnedTrue;
        ExitStatus expected;
    };
    const Case cases[] = {
        {true, false, false, false, true, kExitCompleted},
        {true, false, false, false, false, kExitFailed},  // completion line but false
        {false, false, false, false, true, kExitFailed},  // e.g. data file not readable
        {false, true, false, false, false, kExitCancelled},
        {false, true, false, false, true, kExitCancelled},  // condition declined
        {false, false, false, true, true, kExitRefused},    // too few occurrences
        {false, true, true, false, true, kExitRefused},     // refusal outranks the cancel
    };
    for (const Case& test : cases) {
        HostSession session;
        session.completionLogged = test.completionLogged;
        session.cancelled = test.cancelled;
        session.refused = test.refused;
        session.messageBoxShown = test.messageBox;
        EXPECT_EQ(classifyRun(session, test.returnedTrue), test.expected);
    }
}

}  // namespace
