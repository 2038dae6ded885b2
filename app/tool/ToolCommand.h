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

    struct Registrar {
        Registrar(std::string name, std::string description, Setup setup) {
            all().push_back({std::move(name), std::move(description), std::move(setup)});
        }
    };
};
