// version-compare: how the update check reads two version texts.
//
//   zandrel-tool version-compare A B          (--missing in place of A or B: no version)
//
// Prints exactly two lines: "higher: true|false" (A is higher than B) and
// "higher-or-equal: true|false" (A is higher than or equal to B).

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "plugin/framework/Classes/VEXAPlugin.h"

namespace {

constexpr int kBadArguments = 64;  // the tool's usage-error status
constexpr int kOutputFailed = 2;
constexpr const char* kMissing = "--missing";

ToolCommand::Registrar versionCompare{
    "version-compare", "Compare two plug-in version texts as the update check does",
    [](CLI::App& command) -> ToolCommand::Run {
        // The two versions are taken in order from what CLI11 leaves over, so that "--missing"
        // keeps its position (A or B) and a text such as "-1" is a version, not an option.
        command.prefix_command();
        command.footer(
            "Arguments: A B, each a version text such as 2.1.3 or 2.1b4, or --missing for no version.\n"
            "Prints two lines: `higher: true|false` (A is higher than B) and\n"
            "`higher-or-equal: true|false` (A is higher than or equal to B).\n"
            "Any other argument is a version text as it stands, one starting with '-' too (-1).\n"
            "Exit status: 0 done, 2 the output cannot be written, 64 not exactly two versions.");
        return [&command]() -> int {
            std::vector<std::string> args = command.remaining();
            if (args.size() != 2)
                return ToolIO::fail(
                    "version-compare", "",
                    fmt::format("expected two versions (A B, or --missing for either), got {}", args.size()),
                    kBadArguments);
            std::optional<std::string> a, b;
            if (args[0] != kMissing) a = args[0];
            if (args[1] != kMissing) b = args[1];
            auto view = [](const std::optional<std::string>& s) {
                return s ? KOPAPlugin::VersionText(*s) : std::nullopt;
            };
            std::string out = fmt::format("higher: {}\nhigher-or-equal: {}\n",
                                          KOPAPlugin::compareVersionStrings(view(a), view(b), false),
                                          KOPAPlugin::compareVersionStrings(view(a), view(b), true));
            if (!ToolIO::writeOutput(out))
                return ToolIO::fail("version-compare", "",
                                    fmt::format("cannot write the output: {}", std::strerror(errno)),
                                    kOutputFailed);
            return 0;
        };
    }};

}  // namespace
