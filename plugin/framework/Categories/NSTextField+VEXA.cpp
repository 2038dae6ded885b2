#include "NSTextField+VEXA.h"
#include "platform/ui/TextField.h"

void kopaSetStringValue(platform::TextField& field, const std::optional<std::string>& value) {
    field.setStringValue(value.value_or(std::string()));
}

void kopaEllipsizeControl(platform::TextField& field) {
    field.setLineBreakMode(platform::TextField::LineBreakMode::CharWrapping);
    field.setTruncatesLastVisibleLine(true);
}
