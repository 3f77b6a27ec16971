// A stand-in for the host application, built as a library under the host's
// file names so that tests can load it and let the module find it. Which host
// functions it exports is chosen at build time (FAKE_HOST_* definitions), so
// each variant is a host with a particular gap.

#include <cstring>
#include <string>

#include "host/host_contract.h"

#define FAKE_HOST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int hostMajor = 1, hostMinor = 8, hostRelease = 3;
std::string transcript;
}  // namespace

// Test controls, found by the tests with dlsym.
FAKE_HOST_EXPORT void fakeHostSetVersion(int major, int minor, int release) {
    hostMajor = major;
    hostMinor = minor;
    hostRelease = release;
}
FAKE_HOST_EXPORT const char* fakeHostTranscript() {
    return transcript.c_str();
}
FAKE_HOST_EXPORT void fakeHostClearTranscript() {
    transcript.clear();
}

#ifdef FAKE_HOST_VERSION
FAKE_HOST_EXPORT void ztGetVersionOfLumatraZT(int* major, int* minor, int* release) {
    transcript += "version\n";
    *major = hostMajor;
    *minor = hostMinor;
    *release = hostRelease;
}
#endif

#ifdef FAKE_HOST_GENERAL
FAKE_HOST_EXPORT void ztShowLogTab() {
    transcript += "showLogTab\n";
}
FAKE_HOST_EXPORT void ztLogText(const char* text) {
    transcript += std::string("log:") + text + "\n";
}
FAKE_HOST_EXPORT void ztMessageBox(const char* text) {
    transcript += std::string("messageBox:") + text + "\n";
}
FAKE_HOST_EXPORT int ztGetIntegerInput(const char*, int defaultValue, int, int) {
    transcript += "integerInput\n";
    return defaultValue;
}
FAKE_HOST_EXPORT int ztGetOpenFileName(const char*, const char*, const char*, char* path) {
    transcript += "openFileName\n";
    path[0] = '\0';
    return 0;
}
FAKE_HOST_EXPORT void ztUpdateActiveWindow() {
    transcript += "repaint\n";
}
FAKE_HOST_EXPORT void ztShowBusyCursor() {
    transcript += "busyOn\n";
}
FAKE_HOST_EXPORT void ztStopBusyCursor() {
    transcript += "busyOff\n";
}
FAKE_HOST_EXPORT void* ztGetCurrentVMR(int*, int*, int*) {
    transcript += "currentVMR\n";
    return nullptr;
}
FAKE_HOST_EXPORT void ztClearProtocol() {
    transcript += "clearProtocol\n";
}
FAKE_HOST_EXPORT int ztLoadProtocol(const char*) {
    return 0;
}
FAKE_HOST_EXPORT int ztGetProtocol(void*) {
    return 0;
}
FAKE_HOST_EXPORT int ztGetProtocolCondition(int, void*) {
    return 0;
}
#endif

#ifdef FAKE_HOST_MULT_F
FAKE_HOST_EXPORT void zt_intel_matrix_matrix_mult_f(const float*, const float*, float*, int, int,
                                                    int, bool, bool) {}
#endif
#ifdef FAKE_HOST_MULT_D
FAKE_HOST_EXPORT void zt_intel_matrix_matrix_mult_d(const double*, const double*, double*, int, int,
                                                    int, bool, bool) {}
#endif
#ifdef FAKE_HOST_VECTOR_F
FAKE_HOST_EXPORT void zt_intel_matrix_vector_mult_f(const float*, const float*, float*, int, int,
                                                    bool) {}
#endif
#ifdef FAKE_HOST_VECTOR_D
FAKE_HOST_EXPORT void zt_intel_matrix_vector_mult_d(const double*, const double*, double*, int, int,
                                                    bool) {}
#endif
