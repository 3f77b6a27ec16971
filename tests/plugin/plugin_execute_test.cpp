// execute through a pointer to the base class, as the host calls it, on
// fake hosts that stop the run before it talks to the user.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "loaded_library.h"
#include "plugin/LMPluginInterface.h"

namespace {

TEST(PluginExecute, StopsWithTheHostsMessageWhereTheHostFallsShort) {
    struct Case {
        const char* name;
        const char* host;  // none loaded when null
        int minor, release;
        const char* transcript;
    };
    const Case cases[] = {
        {"no host", nullptr, 8, 3, ""},
        {"no products", FAKE_HOST_LUMATRA, 8, 3,
         "messageBox:Did not get access to MKL CBLAS functions!\n"},
        {"too old", FAKE_HOST_COMPLETE, 8, 2,
         "version\nmessageBox:Can not execute this plugin - LumatraZT version 1.8.3 or higher "
         "required.\n"},
        // The oldest accepted version goes on, to a host without a document.
        {"oldest accepted", FAKE_HOST_COMPLETE, 8, 3,
         "version\nshowLogTab\nlog: \nlog:// KORUSuite> Running EEG/MEG plugin (Artifact "
         "template removal with OBS method) ...\ncurrentVMR\nlog:// KORUSuite>  Could not get "
         "VMR!\n"},
    };
    LoadedLibrary module(KORU_PLUGIN_MODULE);
    ASSERT_TRUE(module.loaded()) << module.error();
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::unique_ptr<LoadedLibrary> host;
        if (test.host) {
            host = std::make_unique<LoadedLibrary>(test.host);
            ASSERT_TRUE(host->loaded()) << host->error();
            host->function<void (*)(int, int, int)>("fakeHostSetVersion")(1, test.minor,
                                                                          test.release);
        }
        LMPluginInterface* plugin = module.function<LMPluginInterface* (*)()>("createPlugin")();
        EXPECT_FALSE(plugin->execute());
        delete plugin;
        EXPECT_EQ(host ? host->function<const char* (*)()>("fakeHostTranscript")() : "",
                  std::string(test.transcript));
    }
}

}  // namespace
