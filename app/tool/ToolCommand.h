#pragma once

// Sub-commands of zandrel-tool register themselves here from their own source file, so each
// command lives in one file and main.cpp needs no list of them.
//
//   static ToolCommand::Registrar reg{"urlencode", "Percent-encode a text for a URL",
//       [](CLI::App& cmd) -> ToolCommand::Run { ...add options...; return [=] { ...; return 0; }; }};
//
// The returned callable runs after parsing and gives the process's exit status.

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ToolCommand {
    using Run = std::function<int()>;
    using Setup = std::function<Run(CLI::App& command)>;

    std::string name;
    std::string description;
    Setup setup;

    static std::vector<ToolCommand>& all() {
        static std::vector<ToolCommand> commands;
        return commands;
    }

    // The exit statuses as every --help lists them: one per line, the status then what it means,
    // ending with the usage-error status every command shares.
    static std::string exitStatuses(const std::vector<std::pair<int, std::string>>& statuses) {
        std::string text = "Exit status:\n";
        for (const auto& [status, meaning] : statuses)
            text += "  " + std::to_string(status) + std::string(status < 10 ? "  " : " ") + meaning + "\n";
        text +=
            "  64 the command line is wrong (an unknown or missing option or argument; the message says "
            "which)";
        return text;
    }

    // With no source given, standard input is read when it is not a terminal (a pipe or a
    // redirected file): `producer | zandrel-tool xml2json`. On a terminal the source is needed.
    static bool standardInputIsRedirected();

    // The words after the command's name as typed, for a command that reads its arguments
    // itself (CLI11::App::prefix_command): main gives them to it unparsed, since CLI11 hands
    // what follows "--" to the parent command, which refuses it.
    static std::vector<std::string>& rawArguments() {
        static std::vector<std::string> words;
        return words;
    }

    struct Registrar {
        Registrar(std::string name, std::string description, Setup setup) {
            all().push_back({std::move(name), std::move(description), std::move(setup)});
        }
    };
};
