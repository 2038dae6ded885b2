#pragma once

// DisplayText: any text (from the network, the database, the command line) made safe to show on
// one line of a terminal, a log or a dialog. A control character could move the cursor or forge
// a line, a format character could reverse or hide part of the text, and bytes that are not
// UTF-8 could be taken for something else; all of them are shown escaped, in ASCII. Everything
// else, the user's text in any script included, is kept as it is.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class DisplayText {
public:
    // `text` with
    //   line feed, tab, carriage return as \n, \t, \r;
    //   other C0 controls and DEL as \xNN (escape: \x1b);
    //   C1 controls (U+0080..U+009F), Unicode's format characters (general category Cf:
    //   directional overrides and isolates, zero-width characters, the byte order mark, ...)
    //   and the line and paragraph separators as \uNNNN, or \UNNNNNNNN above U+FFFF;
    //   each byte that starts no well-formed UTF-8 sequence as \xNN;
    // and every other character, backslashes included, unchanged. With maxChars above 0, a text
    // of more characters is cut after maxChars of them (an escape counts as the one character it
    // stands for) and ends with "…".
    static std::string printable(std::string_view text, size_t maxChars = 0);

    // Whether printable() escapes this well-formed character.
    static bool isEscaped(char32_t c);
};

}  // namespace platform
