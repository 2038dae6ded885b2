// zandrel-tool: the plug-in framework's data utilities on the command line (XML to JSON and
// back, URL encoding, FTP upload). Each sub-command lives in its own file; see ToolCommand.h.

#include <algorithm>
#include <iostream>
#include <map>

#include "app/tool/ToolCommand.h"

int main(int argc, char** argv) {
    CLI::App app{"zandrel-tool: the Zandrel framework's data utilities (XML <-> JSON, URL encoding, FTP upload)"};
    app.require_subcommand(1);
    auto commands = ToolCommand::all();
    std::sort(commands.begin(), commands.end(), [](auto& a, auto& b) { return a.name < b.name; });
    std::map<CLI::App*, ToolCommand::Run> runs;
    for (auto& command : commands) {
        CLI::App* sub = app.add_subcommand(command.name, command.description);
        runs[sub] = command.setup(*sub);
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
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
