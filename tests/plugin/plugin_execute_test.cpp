// execute through a pointer to the base class, as the host calls it, on
// fake hosts that stop the run before it talks to the user.

#include <gtest/gtest.h>

#include <string>

#include "loaded_library.h"
#include "plugin/LMPluginInterface.h"

namespace {

using CreateFunction = LMPluginInterface* (*)();
using SetVersion = void (*)(int, int, int);
using Transcript = const char* (*)();

struct RunOutcome {
    bool result;
    std::string transcript;
};

RunOutcome executeOnce(const LoadedLibrary& module, const LoadedLibrary* host) {
    LMPluginInterface* plugin = module.function<CreateFunction>("createPlugin")();
    bool result = plugin->execute();
    delete plugin;
    std::string transcript = host ? host->function<Transcript>("fakeHostTranscript")() : "";
    return {result, transcript};
}

class PluginExecute : public ::testing::Test {
protected:
    LoadedLibrary module{KORU_PLUGIN_MODULE};
    void SetUp() override { ASSERT_TRUE(module.loaded()) << module.error(); }
};

TEST_F(PluginExecute, WithoutAHostTheRunEndsFalseAndSilently) {
    RunOutcome outcome = executeOnce(module, nullptr);
    EXPECT_FALSE(outcome.result);
}

TEST_F(PluginExecute, HostWithoutProductsGetsTheMessageAndFalse) {
    LoadedLibrary host(FAKE_HOST_LUMATRA);
    ASSERT_TRUE(host.loaded()) << host.error();
    RunOutcome outcome = executeOnce(module, &host);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.transcript, "messageBox:Did not get access to MKL CBLAS functions!\n");
}

TEST_F(PluginExecute, HostOlderThanRequiredGetsTheMessageAndFalse) {
    LoadedLibrary host(FAKE_HOST_COMPLETE);
    ASSERT_TRUE(host.loaded()) << host.error();
    host.function<SetVersion>("fakeHostSetVersion")(1, 8, 2);
    RunOutcome outcome = executeOnce(module, &host);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.transcript,
              "version\nmessageBox:Can not execute this plugin - LumatraZT version 1.8.3 or "
              "higher required.\n");
}

TEST_F(PluginExecute, RequiredVersionPassesTheTest) {
    LoadedLibrary host(FAKE_HOST_COMPLETE);
    ASSERT_TRUE(host.loaded()) << host.error();
    host.function<SetVersion>("fakeHostSetVersion")(1, 8, 3);
    RunOutcome outcome = executeOnce(module, &host);
    // The run goes past the version test; what follows belongs to the run.
    EXPECT_EQ(outcome.transcript.find("messageBox:"), std::string::npos) << outcome.transcript;
    EXPECT_EQ(outcome.transcript.rfind("version\n", 0), 0u);
}

}  // namespace
