#pragma once

// The contract between the module and its host: the host functions the module
// calls, with their C signatures, and the two records the host fills. The
// module binds these functions by name at run time and never links them;
// hosts (our Linux host program and the test hosts) define and export them
// with exactly these signatures.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

static_assert(sizeof(void*) == 8, "the host records are laid out for 64-bit hosts");
static_assert(sizeof(int) == 4, "host integers are signed 32-bit");

// Filled by ztGetProtocol. 608 bytes; the host writes nothing beyond them.
struct ProtocolRecord {
    int32_t NrOfConditions;
    char HostData1[261];
    char ExperimentName[303];  // zero-terminated before offset 568
    int32_t TimeUnit;          // 1: interval positions are sample numbers; else microseconds
    char HostData2[36];
};
static_assert(sizeof(ProtocolRecord) == 608);
static_assert(offsetof(ProtocolRecord, NrOfConditions) == 0);
static_assert(offsetof(ProtocolRecord, HostData1) == 4);
static_assert(offsetof(ProtocolRecord, ExperimentName) == 265);
static_assert(offsetof(ProtocolRecord, TimeUnit) == 568);
static_assert(offsetof(ProtocolRecord, HostData2) == 572);

// Filled by ztGetProtocolCondition. 288 bytes; the host writes nothing beyond them.
struct ConditionRecord {
    char ConditionName[256];  // zero-terminated, at most 255 characters
    int32_t NrOfIntervals;
    char HostData1[4];
    // NrOfIntervals positions owned by the host, valid until the module's next
    // protocol call, in the unit that ProtocolRecord::TimeUnit gives.
    int32_t* IntervalPositions;
    char HostData2[16];
};
static_assert(sizeof(ConditionRecord) == 288);
static_assert(offsetof(ConditionRecord, ConditionName) == 0);
static_assert(offsetof(ConditionRecord, NrOfIntervals) == 256);
static_assert(offsetof(ConditionRecord, HostData1) == 260);
static_assert(offsetof(ConditionRecord, IntervalPositions) == 264);
static_assert(offsetof(ConditionRecord, HostData2) == 272);

// A text field of a host record, read no further than the field's end: a host
// that forgets the terminator must not make us read past the record.
template <std::size_t Capacity>
std::string recordText(const char (&field)[Capacity]) {
    const void* end = std::memchr(field, '\0', Capacity);
    std::size_t length =
        end ? static_cast<std::size_t>(static_cast<const char*>(end) - field) : Capacity;
    return std::string(field, length);
}

// The host functions the module calls. Hosts define and export them with
// these declarations in view, so that a definition with a wrong signature
// fails to compile; the module never links them and calls them only through
// the pointer types below.
extern "C" {
void ztGetVersionOfLumatraZT(int* major, int* minor, int* release);
void ztShowLogTab();
void ztLogText(const char* text);
void ztMessageBox(const char* text);
int ztGetIntegerInput(const char* prompt, int defaultValue, int minimum, int maximum);
// Returns non-zero when a file was chosen; path256 then holds its zero-terminated path.
int ztGetOpenFileName(const char* prompt, const char* second, const char* filter, char* path256);
void ztUpdateActiveWindow();
void ztShowBusyCursor();
void ztStopBusyCursor();
void* ztGetCurrentVMR(int* a, int* b, int* c);
void ztClearProtocol();
int ztLoadProtocol(const char* path);
int ztGetProtocol(void* protocolRecord);
int ztGetProtocolCondition(int index, void* conditionRecord);
// C (m x n, row-major) is overwritten with op(A) * op(B); an untransposed A is
// m x k, a transposed B is stored n x k, both row-major.
void zt_intel_matrix_matrix_mult_f(const float* A, const float* B, float* C, int m, int n, int k,
                                   bool transA, bool transB);
void zt_intel_matrix_matrix_mult_d(const double* A, const double* B, double* C, int m, int n, int k,
                                   bool transA, bool transB);
// y (m) = op(A) * x, A stored m x n row-major.
void zt_intel_matrix_vector_mult_f(const float* A, const float* x, float* y, int m, int n,
                                   bool transA);
void zt_intel_matrix_vector_mult_d(const double* A, const double* x, double* y, int m, int n,
                                   bool transA);
}

// The pointers the module binds by name.
using ZtGetVersionOfLumatraZT = decltype(&ztGetVersionOfLumatraZT);
using ZtShowLogTab = decltype(&ztShowLogTab);
using ZtLogText = decltype(&ztLogText);
using ZtMessageBox = decltype(&ztMessageBox);
using ZtGetIntegerInput = decltype(&ztGetIntegerInput);
using ZtGetOpenFileName = decltype(&ztGetOpenFileName);
using ZtUpdateActiveWindow = decltype(&ztUpdateActiveWindow);
using ZtShowBusyCursor = decltype(&ztShowBusyCursor);
using ZtStopBusyCursor = decltype(&ztStopBusyCursor);
using ZtGetCurrentVMR = decltype(&ztGetCurrentVMR);
using ZtClearProtocol = decltype(&ztClearProtocol);
using ZtLoadProtocol = decltype(&ztLoadProtocol);
using ZtGetProtocol = decltype(&ztGetProtocol);
using ZtGetProtocolCondition = decltype(&ztGetProtocolCondition);
using ZtMatrixMatrixMultF = decltype(&zt_intel_matrix_matrix_mult_f);
using ZtMatrixMatrixMultD = decltype(&zt_intel_matrix_matrix_mult_d);
using ZtMatrixVectorMultF = decltype(&zt_intel_matrix_vector_mult_f);
using ZtMatrixVectorMultD = decltype(&zt_intel_matrix_vector_mult_d);
