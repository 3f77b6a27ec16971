// The real module, loaded as a host loads it: its exports, its texts and its
// object, looked up by name.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <string>

#include "loaded_library.h"
#include "plugin/LMPluginInterface.h"

namespace {

using TextFunction = const char* (*)();
using MinimumFunction = double (*)(double, double);

// The demangled names that the module defines in its dynamic symbol table, as
// the binary tools read them; constructor and destructor variants demangle to
// the same name.
std::set<std::string> exportedSymbols(const std::string& path) {
    std::set<std::string> names;
    FILE* listing = popen(("nm -D --defined-only -C '" + path + "'").c_str(), "r");
    if (!listing) return names;
    char line[1024];
    while (std::fgets(line, sizeof line, listing)) {
        std::string text(line);
        size_t nameStart = text.find(' ', text.find(' ') + 1) + 1;  // after address and type
        if (nameStart > 0) names.insert(text.substr(nameStart, text.find('\n') - nameStart));
    }
    EXPECT_EQ(pclose(listing), 0);
    return names;
}

TEST(PluginModule, ExportsExactlyTheContract) {
    const std::set<std::string> expected = {
        "createPlugin",
        "getPluginName",
        "getPluginDescription",
        "getAuthor",
        "getHelpFile",
        "getPluginVersion",
        "getGUIScript",
        "fmin",
        "LMPluginInterface::LMPluginInterface()",
        "LMPluginInterface::LMPluginInterface(LMPluginInterface const&)",
        "LMPluginInterface::~LMPluginInterface()",
        "LMPluginInterface::operator=(LMPluginInterface const&)",
        "vtable for LMPluginInterface",
        "KORUArtifactRemovalPlugin::KORUArtifactRemovalPlugin()",
        "KORUArtifactRemovalPlugin::~KORUArtifactRemovalPlugin()",
        "KORUArtifactRemovalPlugin::execute()",
        "KORUArtifactRemovalPlugin::initPlugin()",
        "KORUArtifactRemovalPlugin::isAvailable() const",
    };
    EXPECT_EQ(exportedSymbols(KORU_PLUGIN_MODULE), expected);
}

TEST(PluginModule, TextsAndObjectAreReachedByName) {
    LoadedLibrary module(KORU_PLUGIN_MODULE);
    ASSERT_TRUE(module.loaded()) << module.error();
    const std::pair<const char*, const char*> texts[] = {
        {"getPluginName", "EEG/MEG artifact removal with optimal basis set (OBS) approach ..."},
        {"getPluginDescription",
         "Please check the <a href=\"KORUPluginHelp/index.html\"><b>EEG/MEG distributed solution "
         "plugin online help</b></a><br>"},
        {"getHelpFile", ""},
        {"getPluginVersion", "0.0"},
        {"getGUIScript", ""},
    };
    for (const auto& [name, text] : texts) {
        TextFunction function = module.function<TextFunction>(name);
        ASSERT_NE(function, nullptr) << name;
        EXPECT_STREQ(function(), text) << name;
    }
    std::string author = module.function<TextFunction>("getAuthor")();
    EXPECT_EQ(author.rfind("<i>", 0), 0u);
    EXPECT_EQ(author.substr(author.size() - 4), "</i>");

    LMPluginInterface* plugin = module.function<LMPluginInterface* (*)()>("createPlugin")();
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->initPlugin());
    // isAvailable is reached through its exported name, as a host without the
    // class's full declaration would.
    using IsAvailable = bool (*)(const LMPluginInterface*);
    auto isAvailable =
        module.function<IsAvailable>("_ZNK25KORUArtifactRemovalPlugin11isAvailableEv");
    ASSERT_NE(isAvailable, nullptr);
    EXPECT_TRUE(isAvailable(plugin));
    // The deleting destructor is the module's; a leak or a mismatched free
    // shows under the sanitizer build.
    delete plugin;
}

// The module's fmin keeps its own rules, and loading the module even with
// global scope leaves the process's fmin the C library's.
TEST(PluginModule, ExportedMinimumStaysTheModulesOwn) {
    LoadedLibrary module(KORU_PLUGIN_MODULE, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_TRUE(module.loaded()) << module.error();
    MinimumFunction minimum = module.function<MinimumFunction>("fmin");
    ASSERT_NE(minimum, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(minimum(2.0, 1.0), 1.0);
    // Equal values: the first argument, which tells +0 and -0 apart.
    EXPECT_FALSE(std::signbit(minimum(0.0, -0.0)));
    EXPECT_TRUE(std::signbit(minimum(-0.0, 0.0)));
    // Either argument not a number: the second.
    EXPECT_EQ(minimum(nan, 3.0), 3.0);
    EXPECT_TRUE(std::isnan(minimum(3.0, nan)));

    auto processMinimum = reinterpret_cast<MinimumFunction>(dlsym(RTLD_DEFAULT, "fmin"));
    ASSERT_NE(processMinimum, nullptr);
    EXPECT_NE(processMinimum, minimum);
    EXPECT_EQ(processMinimum(3.0, nan), 3.0);  // the C library ignores a NaN argument
}

}  // namespace
