// Binding the host function table against fake hosts of the test suite's
// own, each loaded only for the length of its case.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/host_api.h"
#include "loaded_library.h"

namespace {

template <typename Function>
void* setBefore(Function& entry) {
    entry = reinterpret_cast<Function>(uintptr_t{0x5e17e1});
    return reinterpret_cast<void*>(&entry);
}

TEST(HostBinding, BindsFromTheHostFoundByNameAndStopsAtTheFirstGap) {
    struct Case {
        const char* name;
        std::vector<const char*> hosts;
        bool hostBound, productsBound;
        // Per entry below, what it holds after binding: '-' what it held
        // before, '0' null, '1' or '2' the export of the first or second host.
        const char* entries;
    };
    const Case cases[] = {
        {"no host", {}, false, false, "-----"},
        {"complete", {FAKE_HOST_COMPLETE}, true, true, "11111"},
        // Named "LumatraZT.exe". The C library's functions are reachable
        // through its handle but are not its own exports.
        {"version entry only", {FAKE_HOST_VERSION_ONLY}, true, false, "100--"},
        {"no version entry", {FAKE_HOST_NO_VERSION}, false, false, "0----"},
        // The products come from "LumatraZT" only, even though this host has them.
        {"Lumatra alone", {FAKE_HOST_LUMATRA}, true, false, "11---"},
        {"Lumatra and LumatraZT", {FAKE_HOST_LUMATRA, FAKE_HOST_COMPLETE}, true, true, "11222"},
        // The later names are not looked up.
        {"no mult_f", {FAKE_HOST_NO_MULT_F}, true, false, "110--"},
        {"no vector_d", {FAKE_HOST_NO_VECTOR_D}, true, false, "11110"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::unique_ptr<LoadedLibrary>> hosts;
        for (const char* path : test.hosts) {
            hosts.push_back(std::make_unique<LoadedLibrary>(path));
            ASSERT_TRUE(hosts.back()->loaded()) << hosts.back()->error();
        }
        const std::pair<const char*, void*> entries[] = {
            {"ztGetVersionOfLumatraZT", setBefore(HostApi.ztGetVersionOfLumatraZT)},
            {"ztLogText", setBefore(HostApi.ztLogText)},
            {"zt_intel_matrix_matrix_mult_f", setBefore(HostApi.zt_intel_matrix_matrix_mult_f)},
            {"zt_intel_matrix_matrix_mult_d", setBefore(HostApi.zt_intel_matrix_matrix_mult_d)},
            {"zt_intel_matrix_vector_mult_d", setBefore(HostApi.zt_intel_matrix_vector_mult_d)},
        };
        EXPECT_EQ(bindHostApi(), test.hostBound);
        EXPECT_EQ(bindHostMatrixProducts(), test.productsBound);
        for (size_t k = 0; k < std::size(entries); ++k) {
            const char state = test.entries[k];
            void* held = nullptr;
            std::memcpy(&held, entries[k].second, sizeof held);
            void* wanted = reinterpret_cast<void*>(uintptr_t{0x5e17e1});
            if (state != '-')
                wanted =
                    state == '0' ? nullptr : hosts[state - '1']->function<void*>(entries[k].first);
            EXPECT_EQ(held, wanted) << entries[k].first;
        }
    }
}

// Major before minor before release, each compared as a signed number; an
// equal version is enough.
TEST(HostVersion, ComparesLexicographicallyAsSignedValues) {
    EXPECT_TRUE(isVersionAtLeast(1, 8, 3, 1, 8, 3));
    EXPECT_TRUE(isVersionAtLeast(2, 0, 0, 1, 8, 3));
    EXPECT_FALSE(isVersionAtLeast(1, 7, 9, 1, 8, 3));
    EXPECT_FALSE(isVersionAtLeast(1, 8, -3, 1, 8, 3));
}

TEST(HostRecords, TextsAreReadWithinTheirField) {
    ConditionRecord condition;
    std::memset(&condition, 'x', sizeof condition);  // no terminator anywhere
    EXPECT_EQ(recordText(condition.ConditionName), std::string(256, 'x'));
    std::strcpy(condition.ConditionName, "R peak");
    EXPECT_EQ(recordText(condition.ConditionName), "R peak");
}

}  // namespace
