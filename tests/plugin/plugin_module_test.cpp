// The real module, loaded as a host loads it: its exports, its texts and its
// object, looked up by name.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "elf_exports.h"
#include "loaded_library.h"
#include "plugin/LMPluginInterface.h"

namespace {

using TextFunction = const char* (*)();
using MinimumFunction = double (*)(double, double);
using CreateFunction = LMPluginInterface* (*)();

class PluginModule : public ::testing::Test {
protected:
    LoadedLibrary module{KORU_PLUGIN_MODULE};
    void SetUp() override { ASSERT_TRUE(module.loaded()) << module.error(); }
};

TEST(PluginExports, ExactlyTheContractIsExported) {
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
    // Constructor and destructor variants demangle to the same name.
    EXPECT_EQ(exportedSymbols(KORU_PLUGIN_MODULE), expected);
}

TEST_F(PluginModule, DescriptiveTextsAreConstantAndNeverNull) {
    struct Expected {
        const char* name;
        const char* text;
    };
    const Expected texts[] = {
        {"getPluginName", "EEG/MEG artifact removal with optimal basis set (OBS) approach ..."},
        {"getPluginDescription",
         "Please check the <a href=\"KORUPluginHelp/index.html\"><b>EEG/MEG distributed solution "
         "plugin online help</b></a><br>"},
        {"getHelpFile", ""},
        {"getPluginVersion", "0.0"},
        {"getGUIScript", ""},
    };
    for (const Expected& expected : texts) {
        TextFunction function = module.function<TextFunction>(expected.name);
        ASSERT_NE(function, nullptr) << expected.name;
        ASSERT_NE(function(), nullptr) << expected.name;
        EXPECT_STREQ(function(), expected.text) << expected.name;
        EXPECT_EQ(function(), function()) << expected.name << " must be one constant text";
    }
    std::string author = module.function<TextFunction>("getAuthor")();
    EXPECT_EQ(author.rfind("<i>", 0), 0u);
    EXPECT_EQ(author.substr(author.size() - 4), "</i>");
    EXPECT_GT(author.size(), 7u);
}

TEST_F(PluginModule, ExportedMinimumKeepsItsOwnRules) {
    MinimumFunction minimum = module.function<MinimumFunction>("fmin");
    ASSERT_NE(minimum, nullptr);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(minimum(1.0, 2.0), 1.0);
    EXPECT_EQ(minimum(2.0, 1.0), 1.0);
    // Equal values: the first argument, which tells +0 and -0 apart.
    EXPECT_FALSE(std::signbit(minimum(0.0, -0.0)));
    EXPECT_TRUE(std::signbit(minimum(-0.0, 0.0)));
    // Either argument not a number: the second.
    EXPECT_EQ(minimum(nan, 3.0), 3.0);
    EXPECT_TRUE(std::isnan(minimum(3.0, nan)));
}

TEST(PluginMinimum, TheProcessKeepsTheLibraryMinimumEvenWithGlobalScope) {
    LoadedLibrary module(KORU_PLUGIN_MODULE, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_TRUE(module.loaded()) << module.error();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto processMinimum = reinterpret_cast<MinimumFunction>(dlsym(RTLD_DEFAULT, "fmin"));
    ASSERT_NE(processMinimum, nullptr);
    EXPECT_NE(processMinimum, module.function<MinimumFunction>("fmin"));
    EXPECT_EQ(processMinimum(3.0, nan), 3.0);  // the C library ignores a NaN argument
}

TEST_F(PluginModule, ObjectIsOnePointerAndLivesThroughTheBaseClass) {
    CreateFunction create = module.function<CreateFunction>("createPlugin");
    ASSERT_NE(create, nullptr);
    LMPluginInterface* plugin = create();
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(plugin->initPlugin());
    EXPECT_TRUE(plugin->initPlugin());

    // isAvailable is reached through its exported name, as a host without the
    // class's full declaration would.
    using IsAvailable = bool (*)(const LMPluginInterface*);
    IsAvailable isAvailable =
        module.function<IsAvailable>("_ZNK25KORUArtifactRemovalPlugin11isAvailableEv");
    ASSERT_NE(isAvailable, nullptr);
    EXPECT_TRUE(isAvailable(plugin));

    // The deleting destructor is the module's; a leak or a mismatched free
    // shows under the sanitizer build.
    delete plugin;

    LMPluginInterface* second = create();
    ASSERT_NE(second, nullptr);
    delete second;
}

}  // namespace
