#pragma once

// Text field extensions.

#include <optional>
#include <string>

namespace platform {
class TextField;
}

// Sets the text, or the empty text when none is given (never keeps the previous one).
void kopaSetStringValue(platform::TextField& field, const std::optional<std::string>& value);
// Wraps the text by characters and ends the last visible line with an ellipsis when the text
// does not fit.
void kopaEllipsizeControl(platform::TextField& field);
