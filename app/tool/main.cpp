// zandrel-tool: the plug-in framework's data utilities on the command line (XML to JSON and
// back, URL encoding, FTP upload). Each sub-command lives in its own file; see ToolCommand.h.

#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "app/host/CommandLineMistake.h"
#include "app/tool/ToolCommand.h"
#include "platform/foundation/DisplayText.h"

namespace {
// Every mistake on the command line (unknown command or option, missing argument) exits with
// this one documented status, whatever CLI11 would number it.
constexpr int kUsageError = CommandLineMistake::kExitStatus;

// The first argument of the chosen command that starts with '-' but names none of its options:
// a text or file name such as "-x" that CLI11 took for an option. Arguments after "--" are
// never options.
std::optional<std::string> strayDashArgument(CLI::App& command, int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() < 2 || arg[0] != '-') continue;
        const std::string name = arg.substr(0, arg.find('='));
        if (command.get_option_no_throw(name) == nullptr && name != "-h" && name != "--help") return arg;
    }
    return std::nullopt;
}
// Runs a command; what it throws is its failure, said on one line (exit 1).
int runCommand(const CLI::App& command, const ToolCommand::Run& run) {
    try {
        return run();
    } catch (const std::exception& e) {
        std::cerr << "zandrel-tool " << command.get_name() << ": "
                  << platform::DisplayText::printable(e.what()) << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "zandrel-tool: the Zandrel framework's data utilities (XML <-> JSON, URL encoding, FTP upload)"};
    app.name("zandrel-tool");
    app.require_subcommand(1);
    app.footer(
        fmt::format("\nRun `zandrel-tool COMMAND --help` for a command's options and exit statuses.\n"
                    "Every command that reads a file or a text takes - for standard input.\n"
                    "Messages read \"zandrel-tool COMMAND: what went wrong\"; a mistake on the command line\n"
                    "(an unknown command or option, a missing argument) exits with {}.",
                    kUsageError));
    auto commands = ToolCommand::all();
    std::sort(commands.begin(), commands.end(), [](auto& a, auto& b) { return a.name < b.name; });
    std::map<CLI::App*, ToolCommand::Run> runs;
    for (auto& command : commands) {
        CLI::App* sub = app.add_subcommand(command.name, command.description);
        runs[sub] = command.setup(*sub);
    }
    // A command that reads its own arguments gets them as typed (but --help first is help).
    if (argc > 2 && std::string(argv[2]) != "--help" && std::string(argv[2]) != "-h") {
        for (auto& [sub, run] : runs) {
            if (sub->get_name() != argv[1] || !sub->get_prefix_command()) continue;
            ToolCommand::rawArguments().assign(argv + 2, argv + argc);
            return runCommand(*sub, run);
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);  // --help is not a mistake
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // A text or file name that starts with '-' was read as an unknown option (or, where the
        // text is required, CLI11 says only that it is missing): say what happened and what to type.
        CLI::App* command = nullptr;
        for (auto& entry : runs)
            if (argc > 1 && entry.first->get_name() == argv[1]) command = entry.first;
        if (command) {
            // "--word" reads as a mistyped option (its own message names the nearest one);
            // "-word" as a text or name that starts with '-'.
            auto stray = strayDashArgument(*command, argc, argv);
            if (stray && !dynamic_cast<const CLI::RequiredError*>(&e) && stray->starts_with("--"))
                stray.reset();
            if (stray) {
                const std::string shown = platform::DisplayText::printable(*stray, 60);
                std::cerr
                    << "zandrel-tool " << argv[1] << ": '" << shown
                    << "' was read as an option; to give a text or file name that starts with '-', put -- "
                       "before it: zandrel-tool "
                    << argv[1] << " -- " << shown << "\n";
                return kUsageError;
            }
        }
        std::cerr << CommandLineMistake::describe(app, e, "command") << "\n";
        return kUsageError;
    }
    for (auto& [sub, run] : runs) {
        if (sub->parsed()) return runCommand(*sub, run);
    }
    return 2;
}
