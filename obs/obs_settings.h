#pragma once

// What the user chose for one correction: the window around each trigger
// and the size of the component analysis. Kept together so that no call can
// take two of them in the wrong order.

#include <cstdint>

struct ObsSettings {
    int32_t pre = 0;                  // samples before each trigger
    int32_t post = 0;                 // samples after each trigger
    int32_t artifactsPerSegment = 0;  // A: occurrences analysed together
    int32_t componentsKept = 0;       // K: leading components fitted to each window

    // L: the samples of one window, the trigger's own included. The run
    // checks that it fits 32 bits before asking for anything else.
    int32_t windowLength() const { return pre + post + 1; }
};
