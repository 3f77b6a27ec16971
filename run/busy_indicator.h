#pragma once

// The host's busy indicator. It must be off during every dialog and whenever
// a run ends, whichever way it ends; the run tracks it so that every exit can
// turn it off without telling the host twice.
struct BusyIndicator {
    bool showing = false;

    void on();
    void off();
    // Off, if it is showing; nothing otherwise.
    void offIfShowing();
};
