// The real module, loaded as a host loads it: its exports, its object, and
// execute through a pointer to the base class on fake hosts that stop the run
// before it talks to the user.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <set>
#include <string>

#include "loaded_library.h"
#include "plugin/LMPluginInterface.h"

namespace {

using MinimumFunction = double (*)(double, double);

// The demangled names that the module defines in its dynamic symbol table, as
// the binary tools read them; constructor and destructor variants demangle to
// the same name.
std::set<std::string> exportedSymbols(const std::string& path) {
    std::set<std::string> names;
    FILE* listing = popen(("nm -D --defined-only -C -j '" + path + "'").c_str(), "r");
    char line[1024];
    while (listing && std::fgets(line, sizeof line, listing))
        names.insert(std::string(line, std::strcspn(line, "\n")));
    EXPECT_TRUE(listing && pclose(listing) == 0);
    return names;
}

// The names the module's linker script lets out, as written there: C names
// bare, C++ names demangled and quoted, one per line.
std::set<std::string> namesInExportMap() {
    std::ifstream map(KORU_EXPORTS_MAP);
    std::set<std::string> names;
    for (std::string line; std::getline(map, line) && line.find("local:") == std::string::npos;) {
        line.erase(0, line.find_first_not_of(' '));
        if (line.empty() || line.back() != ';' || line == "};") continue;
        line.pop_back();
        if (line.front() == '"') line = line.substr(1, line.size() - 2);
        names.insert(line);
    }
    return names;
}

TEST(PluginModule, ExportsExactlyTheContractAndKeepsItsFminToItself) {
    EXPECT_EQ(exportedSymbols(KORU_PLUGIN_MODULE), namesInExportMap());

    // The module's fmin (NaN in the second argument comes back) stays its
    // own: loading the module even with global scope leaves the process's
    // fmin the C library's.
    LoadedLibrary module(KORU_PLUGIN_MODULE, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_TRUE(module.loaded()) << module.error();
    MinimumFunction minimum = module.function<MinimumFunction>("fmin");
    ASSERT_NE(minimum, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(minimum(3.0, nan)));
    auto processMinimum = reinterpret_cast<MinimumFunction>(dlsym(RTLD_DEFAULT, "fmin"));
    ASSERT_NE(processMinimum, nullptr);
    EXPECT_NE(processMinimum, minimum);
    EXPECT_EQ(processMinimum(3.0, nan), 3.0);  // the C library ignores a NaN argument
}

TEST(PluginExecute, ObjectStopsWithTheHostsMessageWhereTheHostFallsShort) {
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
        ASSERT_NE(plugin, nullptr);
        EXPECT_TRUE(plugin->initPlugin());
        // isAvailable is reached through its exported name, as a host without
        // the class's full declaration would.
        EXPECT_TRUE(module.function<bool (*)(const LMPluginInterface*)>(
            "_ZNK25KORUArtifactRemovalPlugin11isAvailableEv")(plugin));
        EXPECT_FALSE(plugin->execute());
        // The deleting destructor is the module's; a leak or a mismatched free
        // shows under the sanitizer build.
        delete plugin;
        EXPECT_EQ(host ? host->function<const char* (*)()>("fakeHostTranscript")() : "",
                  std::string(test.transcript));
    }
}

}  // namespace
