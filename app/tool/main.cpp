// zandrel-tool: the plug-in framework's data utilities on the command line (XML to JSON and
// back, URL encoding, FTP upload). Each sub-command lives in its own file; see ToolCommand.h.

#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "app/tool/ToolCommand.h"

namespace {
// Every mistake on the command line (unknown command or option, missing argument) exits with
// this one documented status, whatever CLI11 would number it.
constexpr int kUsageError = 64;

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
}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "zandrel-tool: the Zandrel framework's data utilities (XML <-> JSON, URL encoding, FTP upload)"};
    app.require_subcommand(1);
    app.footer(
        fmt::format("\nRun `zandrel-tool COMMAND --help` for a command's options and exit statuses.\n"
                    "A mistake on the command line exits with {}.",
                    kUsageError));
    auto commands = ToolCommand::all();
    std::sort(commands.begin(), commands.end(), [](auto& a, auto& b) { return a.name < b.name; });
    std::map<CLI::App*, ToolCommand::Run> runs;
    std::string names;
    for (auto& command : commands) {
        CLI::App* sub = app.add_subcommand(command.name, command.description);
        runs[sub] = command.setup(*sub);
        names += (names.empty() ? "" : ", ") + command.name;
    }
    if (argc > 1 && argv[1][0] != '-' &&
        std::none_of(commands.begin(), commands.end(), [&](auto& c) { return c.name == argv[1]; })) {
        std::cerr << "zandrel-tool: unknown command '" << argv[1] << "' (commands: " << names << ")\n";
        return kUsageError;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        if (status == 0) return 0;  // --help is not a mistake
        // A required text or file name that starts with '-' was read as an unknown option, so
        // CLI11 says only that the argument is missing: say what happened and what to type.
        CLI::App* command = nullptr;
        for (auto& entry : runs)
            if (argc > 1 && entry.first->get_name() == argv[1]) command = entry.first;
        if (dynamic_cast<const CLI::RequiredError*>(&e) && command) {
            if (auto stray = strayDashArgument(*command, argc, argv))
                std::cerr
                    << "zandrel-tool " << argv[1] << ": '" << *stray
                    << "' was read as an option; to give a text or file name that starts with '-', put -- "
                       "before it: zandrel-tool "
                    << argv[1] << " -- " << *stray << "\n";
        }
        return kUsageError;
    }
    for (auto& [sub, run] : runs) {
        if (sub->parsed()) {
            try {
                return run();
            } catch (const std::exception& e) {
                std::cerr << "zandrel-tool " << sub->get_name() << ": " << e.what() << "\n";
                return 1;
            }
        }
    }
    return 2;
}
