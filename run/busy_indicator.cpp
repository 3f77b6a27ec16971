#include "run/busy_indicator.h"

#include "host/host_api.h"

BusyIndicator::BusyIndicator() {
    HostApi.ztShowBusyCursor();
}

BusyIndicator::~BusyIndicator() {
    HostApi.ztStopBusyCursor();
}
