#include "host/host_api.h"

#include "host/host_lookup.h"

HostApiTable HostApi = {};

namespace {

template <typename Function>
void bindEntry(const LoadedModule& host, const char* name, Function& entry) {
    entry = reinterpret_cast<Function>(findModuleFunction(host, name));
}

}  // namespace

bool bindHostApi() {
    LoadedModule host = findLoadedModule("Lumatra.exe");
    if (!host.handle) host = findLoadedModule("LumatraZT.exe");
    if (!host.handle) return false;

    bindEntry(host, "ztGetVersionOfLumatraZT", HostApi.ztGetVersionOfLumatraZT);
    if (!HostApi.ztGetVersionOfLumatraZT) {
        releaseLoadedModule(host);
        return false;
    }
    // A missing entry is no binding failure: the host that passes the version
    // test is relied on to provide the ones a run calls.
    bindEntry(host, "ztShowLogTab", HostApi.ztShowLogTab);
    bindEntry(host, "ztLogText", HostApi.ztLogText);
    bindEntry(host, "ztMessageBox", HostApi.ztMessageBox);
    bindEntry(host, "ztGetIntegerInput", HostApi.ztGetIntegerInput);
    bindEntry(host, "ztGetOpenFileName", HostApi.ztGetOpenFileName);
    bindEntry(host, "ztUpdateActiveWindow", HostApi.ztUpdateActiveWindow);
    bindEntry(host, "ztShowBusyCursor", HostApi.ztShowBusyCursor);
    bindEntry(host, "ztStopBusyCursor", HostApi.ztStopBusyCursor);
    bindEntry(host, "ztGetCurrentVMR", HostApi.ztGetCurrentVMR);
    bindEntry(host, "ztClearProtocol", HostApi.ztClearProtocol);
    bindEntry(host, "ztLoadProtocol", HostApi.ztLoadProtocol);
    bindEntry(host, "ztGetProtocol", HostApi.ztGetProtocol);
    bindEntry(host, "ztGetProtocolCondition", HostApi.ztGetProtocolCondition);
    releaseLoadedModule(host);
    return true;
}

bool bindHostMatrixProducts() {
    LoadedModule host = findLoadedModule("LumatraZT.exe");
    if (!host.handle) return false;
    bool bound = false;
    bindEntry(host, "zt_intel_matrix_matrix_mult_f", HostApi.zt_intel_matrix_matrix_mult_f);
    if (HostApi.zt_intel_matrix_matrix_mult_f) {
        bindEntry(host, "zt_intel_matrix_matrix_mult_d", HostApi.zt_intel_matrix_matrix_mult_d);
        if (HostApi.zt_intel_matrix_matrix_mult_d) {
            bindEntry(host, "zt_intel_matrix_vector_mult_f", HostApi.zt_intel_matrix_vector_mult_f);
            if (HostApi.zt_intel_matrix_vector_mult_f) {
                bindEntry(host, "zt_intel_matrix_vector_mult_d",
                          HostApi.zt_intel_matrix_vector_mult_d);
                bound = HostApi.zt_intel_matrix_vector_mult_d != nullptr;
            }
        }
    }
    releaseLoadedModule(host);
    return bound;
}

bool isVersionAtLeast(int a1, int a2, int a3, int b1, int b2, int b3) {
    if (b1 < a1) return true;
    if (a1 < b1) return false;
    if (b2 < a2) return true;
    if (a2 < b2) return false;
    return a3 >= b3;
}
