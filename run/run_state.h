#pragma once

// What one artifact removal run holds between its steps, and what each step
// tells the run: go on, or end with the result that execute returns.

#include <cstdint>
#include <string>

#include "ctc/ctc_file.h"
#include "host/host_contract.h"
#include "obs/obs_settings.h"
#include "obs/owned_arrays.h"

struct RunState {
    std::string inputPath;
    std::string outputPath;
    CtcFile file{};
    bool fileOpen = false;
    std::string protocolPath;
    ProtocolRecord protocol{};
    int32_t conditionNumber = 0;  // c, counted from 1
    int32_t preMs = 0;
    int32_t postMs = 0;
    ObsSettings settings;         // the window in samples, A and K
    int32_t occurrenceCount = 0;  // N
    OwnedIntVector triggers;      // T[0..N-1]
    OwnedVector window;           // w[0..L-1]

    RunState() = default;
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;
    // Whatever way the run ends, it gives back what it holds.
    ~RunState() {
        if (fileOpen) closeCtcFile(file);
    }
};

// What a step tells the run: go on with the next step, or end now with the
// result that execute returns.
enum class StepOutcome {
    Continue,
    // execute returns false: the host is told the run failed.
    EndAsFailure,
    // execute returns true: the run ends without telling the host of a
    // failure, also where it refused to go on and has said why itself (in
    // the log or a message box).
    EndAsSuccess,
};
