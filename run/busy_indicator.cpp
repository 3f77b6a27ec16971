#include "run/busy_indicator.h"

#include "host/host_api.h"

void BusyIndicator::on() {
    HostApi.ztShowBusyCursor();
    showing = true;
}

void BusyIndicator::off() {
    HostApi.ztStopBusyCursor();
    showing = false;
}

void BusyIndicator::offIfShowing() {
    if (showing) off();
}
