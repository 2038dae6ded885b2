#pragma once

// FrontEndSupport: what every front end needs to act for a person, each job in a header of its
// own -- what a command names (CommandTargets), menu commands by path (MenuLookup), alert buttons
// (AlertButtons), title matching (TitleMatching); text is made safe to show by DisplayText.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/DisplayText.h"
#include "platform/ui/AlertButtons.h"
#include "platform/ui/CommandTargets.h"
#include "platform/ui/MenuLookup.h"
#include "platform/ui/TitleMatching.h"

namespace platform {

// Decodes the UTF-8 character at `pos` and moves `pos` past it; when the bytes there are not
// UTF-8 (overlong, surrogate, cut short, out of range), returns none and moves one byte on.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos);

}  // namespace platform
