#pragma once

// KOPAUpdateText: reading the update and upgrade documents the way the user will see them.
// Everything in those documents comes from the network, so every text is made plain before it
// is shown, every value is checked for its kind before it is used, and only web addresses are
// ever opened.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

class KOPAUpdateText {
public:
    // The string table's format filled in: "%@" takes the next argument, "%1$@" ... "%9$@" the
    // numbered one, "%%" is a per cent sign. Arguments go in as they are (a "%@" inside one stays
    // "%@"); a placeholder without an argument, and any other "%", stay literal.
    static std::string format(std::string_view pattern, std::initializer_list<std::string_view> arguments);

    // The text as one line safe to show anywhere (platform::DisplayText::printable): line
    // breaks, tabs, control characters (terminal escape sequences among them), directional
    // overrides, zero-width characters and bytes that are not UTF-8 are written escaped ("\\n",
    // "\\x1b", "\\u202e", "\\xff"). A document can then neither forge a line of its own (an "open:"
    // or "answer:" line of check-updates, a log line) nor hide what a text says.
    static std::string plainText(std::string_view text);

    // `document`[key] when the document is an object and the value a text; nothing otherwise.
    static std::optional<std::string> stringForKey(const platform::Value& document, std::string_view key);

    // "• change\n" for every text in the array, in order, each made plain; nothing when the value
    // is not an array of texts (a list of changes that is not one is no list at all).
    static std::optional<std::string> bulletList(const platform::Value& changes);

    // True for an absolute http or https address with a host and no spaces or control
    // characters: the only kind of address a document may have opened.
    static bool isWebURL(std::string_view url);
};
