#pragma once

// FrontEndSupport: what every front end needs to act for a person, each job in a header of its
// own -- what a command names (CommandTargets), menu commands by path (MenuLookup), alert buttons
// (AlertButtons), title matching (TitleMatching) -- and text made safe to show.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/AlertButtons.h"
#include "platform/ui/CommandTargets.h"
#include "platform/ui/MenuLookup.h"
#include "platform/ui/TitleMatching.h"

namespace platform {

// `text` safe to show: control characters and bytes that are not UTF-8 are written escaped
// (\e, \n, \t, \r, \\xNN), and so are the characters that reorder or hide text (directional
// overrides and isolates, zero-width characters: \uNNNN); everything else, including
// backslashes, is unchanged.
std::string printable(std::string_view text);
// Decodes the UTF-8 character at `pos` and moves `pos` past it; when the bytes there are not
// UTF-8 (overlong, surrogate, cut short, out of range), returns none and moves one byte on.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos);

}  // namespace platform
