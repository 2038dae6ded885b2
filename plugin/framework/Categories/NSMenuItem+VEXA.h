#pragma once

// Menu item extensions.

#include <optional>
#include <string>

namespace platform {
class MenuItem;
}

// Sets the title, or the empty title when no text is given (never keeps the previous one).
void kopaSetTitle(platform::MenuItem& item, const std::optional<std::string>& title);
