#pragma once

// CommandLineMistake: what zandrel-host and zandrel-tool say when their command line is wrong (an unknown
// subcommand or option, a missing option or value, a word too many). Every such mistake exits
// with the one status kExitStatus, whatever the parser would number it, and its message names
// the mistake, the nearest known word when one is close ("did you mean `templates`?") and where
// the help is. Words echoed from the command line are shown escaped and cut (platform::DisplayText).

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CommandLineMistake {
public:
    // As zandrel-tool and sysexits.h's EX_USAGE.
    static constexpr int kExitStatus = 64;

    // The message for a parse error of `app`, without a line end: "PROGRAM[ SUBCOMMAND]: what
    // went wrong; see PROGRAM[ SUBCOMMAND] --help", the program named after app's name and the
    // subcommand the one parsed, if any. `noun` is what the program calls its subcommands.
    static std::string describe(const CLI::App& app, const CLI::ParseError& error,
                                std::string_view noun = "subcommand");

    // The candidate closest to `word` by edit distance (letter case ignored), when it is close
    // enough to be a slip of the keyboard and no other candidate is as close; a unique candidate
    // that starts with a word of three or more letters counts as well.
    static std::optional<std::string> nearest(std::string_view word,
                                              const std::vector<std::string>& candidates);
};
