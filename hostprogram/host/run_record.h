#pragma once

// What a finished run leaves behind: below both the run command, which fills
// it, and the report and the demo, which read it.

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/host/host_session.h"

struct RunRecord {
    ExitStatus status = kExitFailed;
    HostSession session;  // answers the run received and what it saw
};
