// version-compare: how the update check reads two version texts.
//
//   zandrel-tool version-compare [--] A B     (--missing in place of A or B: no version)
//
// Prints exactly two lines: "higher: true|false" (A is higher than B) and
// "higher-or-equal: true|false" (A is higher than or equal to B).

#include <fmt/format.h>

#include <algorithm>
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

// CLI11 shows a prefix command's usage without its arguments: name them.
class VersionCompareUsage : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App*, std::string name) const override {
        return "Usage: " + name + " [--] A B\n";
    }
};

ToolCommand::Registrar versionCompare{
    "version-compare", "Compare two plug-in version texts as the update check does",
    [](CLI::App& command) -> ToolCommand::Run {
        // The two versions are taken in order from what CLI11 leaves over, so that "--missing"
        // keeps its position (A or B) and a text such as "-1" is a version, not an option.
        command.prefix_command();
        command.formatter(std::make_shared<VersionCompareUsage>());
        command.footer(
            "Arguments: A B, each a version text such as 2.1.3 or 2.1b4, or --missing for no version.\n"
            "Prints two lines: `higher: true|false` (A is higher than B) and\n"
            "`higher-or-equal: true|false` (A is higher than or equal to B).\n"
            "Any other argument is a version text as it stands, one starting with '-' too (-1); after --,\n"
            "every argument is a version text (-- --missing compares the text \"--missing\").\n\n" +
            ToolCommand::exitStatuses({{0, "done"}, {2, "the output cannot be written"}}) +
            " (here: not exactly two versions)");
        return []() -> int {
            std::vector<std::string> args = ToolCommand::rawArguments();
            // "--" ends the options as in every command: the arguments after it are texts.
            size_t texts = args.size();
            if (auto dashes = std::find(args.begin(), args.end(), "--"); dashes != args.end()) {
                texts = static_cast<size_t>(dashes - args.begin());
                args.erase(dashes);
            }
            if (args.size() != 2)
                return ToolIO::fail(
                    "version-compare", "",
                    fmt::format("expected two versions (A B, or --missing for either), got {}", args.size()),
                    kBadArguments);
            std::optional<std::string> a, b;
            if (args[0] != kMissing || texts < 1) a = args[0];
            if (args[1] != kMissing || texts < 2) b = args[1];
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
