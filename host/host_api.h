#pragma once

// The module-wide table of host functions, bound by name at the start of every
// run. Entries stay as the last binding left them; nothing clears them.

#include "host/host_contract.h"

struct HostApiTable {
    // General entries. The version entry is required; the others are bound
    // when the host has them and stay null otherwise. The host's further
    // services to plug-ins are not bound: no run calls them.
    ZtGetVersionOfLumatraZT ztGetVersionOfLumatraZT;
    ZtShowLogTab ztShowLogTab;
    ZtLogText ztLogText;
    ZtMessageBox ztMessageBox;
    ZtGetIntegerInput ztGetIntegerInput;
    ZtGetOpenFileName ztGetOpenFileName;
    ZtUpdateActiveWindow ztUpdateActiveWindow;
    ZtShowBusyCursor ztShowBusyCursor;
    ZtStopBusyCursor ztStopBusyCursor;
    ZtGetCurrentVMR ztGetCurrentVMR;
    ZtClearProtocol ztClearProtocol;
    ZtLoadProtocol ztLoadProtocol;
    ZtGetProtocol ztGetProtocol;
    ZtGetProtocolCondition ztGetProtocolCondition;

    // Matrix-product entries; only the double-precision matrix product is called.
    ZtMatrixMatrixMultF zt_intel_matrix_matrix_mult_f;
    ZtMatrixMatrixMultD zt_intel_matrix_matrix_mult_d;
    ZtMatrixVectorMultF zt_intel_matrix_vector_mult_f;
    ZtMatrixVectorMultD zt_intel_matrix_vector_mult_d;
};

// Module-wide: runs must not overlap.
extern HostApiTable HostApi;

// Finds the host executable ("Lumatra.exe", then "LumatraZT.exe") among the
// modules already loaded and binds the general entries. False, with no entry
// changed, when neither is loaded; false, with only the version entry
// touched, when the version entry is missing.
bool bindHostApi();

// Binds the four matrix-product entries from "LumatraZT.exe" only, in order,
// stopping at the first missing one. True only when all four were bound.
bool bindHostMatrixProducts();

// True when version (a1, a2, a3) is the same as or later than (b1, b2, b3),
// compared lexicographically as signed values.
bool isVersionAtLeast(int a1, int a2, int a3, int b1, int b2, int b3);
