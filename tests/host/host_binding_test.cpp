// Binding the host function table against fake hosts of the test suite's
// own, each loaded only for the length of its test.

#include <gtest/gtest.h>

#include "host/host_api.h"
#include "loaded_library.h"

namespace {

// A recognisable non-null value, to see which entries a binding touched.
template <typename Function>
Function sentinel() {
    return reinterpret_cast<Function>(static_cast<uintptr_t>(0x5e17e1));
}

void fillWithSentinels(HostApiTable& table) {
    table.ztGetVersionOfLumatraZT = sentinel<ZtGetVersionOfLumatraZT>();
    table.ztShowLogTab = sentinel<ZtShowLogTab>();
    table.ztLogText = sentinel<ZtLogText>();
    table.ztGetProtocolCondition = sentinel<ZtGetProtocolCondition>();
    table.zt_intel_matrix_matrix_mult_f = sentinel<ZtMatrixMatrixMultF>();
    table.zt_intel_matrix_matrix_mult_d = sentinel<ZtMatrixMatrixMultD>();
    table.zt_intel_matrix_vector_mult_f = sentinel<ZtMatrixVectorMultF>();
    table.zt_intel_matrix_vector_mult_d = sentinel<ZtMatrixVectorMultD>();
}

class HostBinding : public ::testing::Test {
protected:
    void SetUp() override { fillWithSentinels(HostApi); }
};

TEST_F(HostBinding, WithoutAHostNothingBindsAndNoEntryChanges) {
    EXPECT_FALSE(bindHostApi());
    EXPECT_FALSE(bindHostMatrixProducts());
    EXPECT_EQ(HostApi.ztGetVersionOfLumatraZT, sentinel<ZtGetVersionOfLumatraZT>());
    EXPECT_EQ(HostApi.ztLogText, sentinel<ZtLogText>());
    EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_f, sentinel<ZtMatrixMatrixMultF>());
}

TEST_F(HostBinding, CompleteHostBindsEveryEntryFromItsOwnExports) {
    LoadedLibrary host(FAKE_HOST_COMPLETE);
    ASSERT_TRUE(host.loaded()) << host.error();
    ASSERT_TRUE(bindHostApi());
    ASSERT_TRUE(bindHostMatrixProducts());
    EXPECT_EQ(HostApi.ztGetVersionOfLumatraZT,
              host.function<ZtGetVersionOfLumatraZT>("ztGetVersionOfLumatraZT"));
    EXPECT_EQ(HostApi.ztLogText, host.function<ZtLogText>("ztLogText"));
    EXPECT_EQ(HostApi.ztGetProtocolCondition,
              host.function<ZtGetProtocolCondition>("ztGetProtocolCondition"));
    EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_d,
              host.function<ZtMatrixMatrixMultD>("zt_intel_matrix_matrix_mult_d"));
    EXPECT_EQ(HostApi.zt_intel_matrix_vector_mult_d,
              host.function<ZtMatrixVectorMultD>("zt_intel_matrix_vector_mult_d"));
}

TEST_F(HostBinding, HostWithOnlyTheVersionEntryBindsWithTheOthersNull) {
    // This variant's file name keeps the ".exe" ending of the host's platform.
    LoadedLibrary host(FAKE_HOST_VERSION_ONLY);
    ASSERT_TRUE(host.loaded()) << host.error();
    ASSERT_TRUE(bindHostApi());
    EXPECT_NE(HostApi.ztGetVersionOfLumatraZT, nullptr);
    EXPECT_EQ(HostApi.ztShowLogTab, nullptr);
    EXPECT_EQ(HostApi.ztLogText, nullptr);
    EXPECT_EQ(HostApi.ztGetProtocolCondition, nullptr);
    // The C library's functions are reachable through the host's handle but
    // are not the host's own exports.
    EXPECT_FALSE(bindHostMatrixProducts());
    EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_f, nullptr);
}

TEST_F(HostBinding, HostWithoutTheVersionEntryFailsTouchingOnlyThatEntry) {
    LoadedLibrary host(FAKE_HOST_NO_VERSION);
    ASSERT_TRUE(host.loaded()) << host.error();
    EXPECT_FALSE(bindHostApi());
    EXPECT_EQ(HostApi.ztGetVersionOfLumatraZT, nullptr);
    EXPECT_EQ(HostApi.ztLogText, sentinel<ZtLogText>());
}

TEST_F(HostBinding, LumatraAloneBindsTheHostButNotTheProducts) {
    LoadedLibrary host(FAKE_HOST_LUMATRA);
    ASSERT_TRUE(host.loaded()) << host.error();
    EXPECT_TRUE(bindHostApi());
    EXPECT_EQ(HostApi.ztLogText, host.function<ZtLogText>("ztLogText"));
    // The products are taken from "LumatraZT" only, even though this host has them.
    EXPECT_FALSE(bindHostMatrixProducts());
    EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_f, sentinel<ZtMatrixMatrixMultF>());
}

TEST_F(HostBinding, LumatraIsPreferredWhenBothHostsAreLoaded) {
    LoadedLibrary lumatra(FAKE_HOST_LUMATRA);
    LoadedLibrary lumatraZT(FAKE_HOST_COMPLETE);
    ASSERT_TRUE(lumatra.loaded() && lumatraZT.loaded());
    ASSERT_TRUE(bindHostApi());
    EXPECT_EQ(HostApi.ztLogText, lumatra.function<ZtLogText>("ztLogText"));
    ASSERT_TRUE(bindHostMatrixProducts());
    EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_d,
              lumatraZT.function<ZtMatrixMatrixMultD>("zt_intel_matrix_matrix_mult_d"));
}

TEST_F(HostBinding, ProductBindingStopsAtTheFirstMissingName) {
    {
        LoadedLibrary host(FAKE_HOST_NO_MULT_F);
        ASSERT_TRUE(host.loaded()) << host.error();
        EXPECT_FALSE(bindHostMatrixProducts());
        EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_f, nullptr);
        // Looked up no further: the later entries keep what they held.
        EXPECT_EQ(HostApi.zt_intel_matrix_matrix_mult_d, sentinel<ZtMatrixMatrixMultD>());
        EXPECT_EQ(HostApi.zt_intel_matrix_vector_mult_d, sentinel<ZtMatrixVectorMultD>());
    }
    LoadedLibrary host(FAKE_HOST_NO_VECTOR_D);
    ASSERT_TRUE(host.loaded()) << host.error();
    EXPECT_FALSE(bindHostMatrixProducts());
    EXPECT_NE(HostApi.zt_intel_matrix_vector_mult_f, nullptr);
    EXPECT_EQ(HostApi.zt_intel_matrix_vector_mult_d, nullptr);
}

TEST(HostVersion, ComparesLexicographicallyAsSignedValues) {
    struct Case {
        int major, minor, release;
        bool atLeast;
    };
    const Case cases[] = {
        {1, 8, 3, true},   {1, 9, 0, true},   {2, 0, 0, true},   {1, 8, 4, true},
        {1, 8, 2, false},  {1, 7, 9, false},  {0, 9, 9, false},  {-1, 9, 9, false},
        {1, -8, 3, false}, {1, 8, -3, false}, {2, -1, -1, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isVersionAtLeast(c.major, c.minor, c.release, 1, 8, 3), c.atLeast)
            << c.major << "." << c.minor << "." << c.release;
    }
    EXPECT_TRUE(isVersionAtLeast(-1, 0, 0, -2, 5, 5));
    EXPECT_FALSE(isVersionAtLeast(-2, 5, 5, -1, 0, 0));
}

TEST(HostRecords, TextsAreReadWithinTheirField) {
    ConditionRecord condition;
    std::memset(&condition, 'x', sizeof condition);  // no terminator anywhere
    EXPECT_EQ(recordText(condition.ConditionName), std::string(256, 'x'));
    std::strcpy(condition.ConditionName, "R peak");
    EXPECT_EQ(recordText(condition.ConditionName), "R peak");

    ProtocolRecord protocol;
    std::memset(&protocol, 'y', sizeof protocol);
    EXPECT_EQ(recordText(protocol.ExperimentName).size(), 303u);
}

}  // namespace
