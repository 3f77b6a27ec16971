#pragma once

// The host's busy indicator, shown for the lifetime of one of these. It must
// be off during every dialog and whenever a run ends, whichever way it ends:
// a step holds one only around work that asks the user nothing, and leaving
// the scope by any return turns it off after the step's last report.
class BusyIndicator {
public:
    BusyIndicator();
    ~BusyIndicator();
    BusyIndicator(const BusyIndicator&) = delete;
    BusyIndicator& operator=(const BusyIndicator&) = delete;
};
