#include "platform/ui/FrontEndSupport.h"

#include <fmt/format.h>

#include "platform/foundation/UTF8.h"

namespace platform {

std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos) {
    char32_t value;
    const size_t length = UTF8::decode(text, pos, value);
    if (length == 0) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return value;
}

}  // namespace platform
