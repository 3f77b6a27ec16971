#pragma once

// What a report shows of the heartbeats found in the ECG channel: the facts
// and the views of the ECG, the heart rate and the average beat.

#include "hostprogram/cli/options.h"
#include "hostprogram/commands/ecg_triggers.h"
#include "hostprogram/report/ecg_views.h"
#include "hostprogram/report/report_writer.h"

// The views' input: the triggers' channel and beats, the stretch settings
// asks for. Points into triggers' samples.
EcgViewData ecgViewData(const EcgTriggers& triggers, const ReportSettings& settings);

// Empty extras when triggers hold no channel (no --ecg-channel).
ReportExtras ecgReportExtras(const EcgTriggers& triggers, const ReportSettings& settings);
