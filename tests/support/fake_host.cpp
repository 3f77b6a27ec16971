// A stand-in for the host application, built as a library under the host's
// file names so that tests can load it and let the module find it. Which host
// functions it exports is chosen at build time (FAKE_HOST_* definitions), so
// each variant is a host with a particular gap. Of the general functions it
// has those that a run without a document reaches.

#include <string>

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
FAKE_HOST_EXPORT void* ztGetCurrentVMR(int*, int*, int*) {
    transcript += "currentVMR\n";
    return nullptr;
}
#endif

// The products are never called; only their names count.
#ifdef FAKE_HOST_MULT_F
FAKE_HOST_EXPORT void zt_intel_matrix_matrix_mult_f() {}
#endif
#ifdef FAKE_HOST_MULT_D
FAKE_HOST_EXPORT void zt_intel_matrix_matrix_mult_d() {}
#endif
#ifdef FAKE_HOST_VECTOR_F
FAKE_HOST_EXPORT void zt_intel_matrix_vector_mult_f() {}
#endif
#ifdef FAKE_HOST_VECTOR_D
FAKE_HOST_EXPORT void zt_intel_matrix_vector_mult_d() {}
#endif
