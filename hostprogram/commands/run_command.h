#pragma once

// One run of the plug-in through this host: checks, the run itself, its exit
// status, and the report when one was asked for.

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"
#include "hostprogram/commands/ecg_triggers.h"
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

// A run on a CTC file (-i) that leaves some channels as they were: the ECG
// channel, whose beats become the condition the run uses unless -c or -p say
// otherwise, and the channels --exclude names. The plug-in corrects the whole
// file; those channels are then copied back from the input. ecg: the beats
// found (no channel without --ecg-channel).
void runKeepingChannels(const Options& options, RunRecord& record, EcgTriggers& ecg);
