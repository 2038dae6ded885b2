#include "NSMenuItem+VEXA.h"
#include "platform/ui/MenuItem.h"

void kopaSetTitle(platform::MenuItem& item, const std::optional<std::string>& title) {
    item.setTitle(title.value_or(std::string()));
}
