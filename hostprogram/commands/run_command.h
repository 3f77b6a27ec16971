#pragma once

// One run of the plug-in through this host: checks, the run itself, its exit
// status, and the report when one was asked for.

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"
#include "hostprogram/host/host_session.h"
#include "hostprogram/host/run_record.h"

ExitStatus runCommand(const Options& options);

// The run without the report; record receives what happened. markers, when
// given, answer the protocol question.
void runPlugin(const Options& options, RunRecord& record,
               const MarkerConditions* markers = nullptr);

// The exit status of a finished run, from the plug-in's result and what the
// host saw: completed only with the completion line and a true result.
ExitStatus classifyRun(const HostSession& session, bool executeReturnedTrue);
