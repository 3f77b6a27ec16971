// LumatraZT: the Linux host of the KORU artifact removal plug-in.

#include <cstdio>

#include "hostprogram/cli/options.h"
#include "hostprogram/cli/usage_text.h"
#include "hostprogram/commands/convert_command.h"
#include "hostprogram/commands/demo_command.h"
#include "hostprogram/commands/detect_r_command.h"
#include "hostprogram/commands/generate_command.h"
#include "hostprogram/commands/info_command.h"
#include "hostprogram/commands/run_command.h"
#include "hostprogram/host/plugin_module.h"

namespace {

ExitStatus aboutCommand(const Options& options) {
    PluginModule module;
    std::string error;
    const std::string path = options.modulePath.empty() ? defaultModulePath() : options.modulePath;
    if (!loadPluginModule(path, module, error)) {
        std::fprintf(stderr, "LumatraZT: %s\n", error.c_str());
        return kExitFailed;
    }
    printPluginTexts(module, stdout);
    unloadPluginModule(module);
    return kExitCompleted;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    ExitStatus status = parseCommandLine(argc, argv, options);
    if (status != kExitCompleted) return status;
    switch (options.command) {
        case Command::kHelp:
            std::fputs(usageText().c_str(), stdout);
            return kExitCompleted;
        case Command::kVersion:
            std::printf(
                "LumatraZT %s (KORU host program; reports host version %d.%d.%d to "
                "plug-ins)\n",
                KORU_HOST_PROGRAM_VERSION, kHostVersionMajor, kHostVersionMinor,
                kHostVersionRelease);
            return kExitCompleted;
        case Command::kInfo:
            return infoCommand(options);
        case Command::kConvert:
            return convertCommand(options);
        case Command::kDetectR:
            return detectRCommand(options);
        case Command::kAbout:
            return aboutCommand(options);
        case Command::kDemo:
            return demoCommand(options);
        case Command::kGenerate:
            return generateCommand(options);
        case Command::kRun:
            break;
    }
    return runCommand(options);
}
