#pragma once

// TerminalText: how zandrel-host's command-line output puts arbitrary text on a terminal. Text
// that came from the command line or from the database may hold control characters (an escape
// sequence would move the cursor, a line break would forge a line) or bytes that are not UTF-8;
// they are shown escaped (platform::DisplayText::printable). Widths count characters (code points), which
// matches the terminal for the scripts the demo data uses.

#include <cstddef>
#include <string>
#include <string_view>

class TerminalText {
public:
    // The number of characters of UTF-8 text (its columns on the terminal).
    static size_t displayWidth(std::string_view text);

    // The text cut to at most `width` characters, the last of them "…" when it was cut.
    static std::string truncated(std::string_view text, size_t width);

    // The columns of the terminal on `fd`, or 0 when fd is no terminal. A terminal that gives no
    // size (a serial line) takes COLUMNS, else 80.
    static size_t terminalWidth(int fd);
};
