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

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        auto c = nextCodePoint(text, pos);
        if (!c) {
            out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[start]));
            continue;
        }
        switch (*c) {
            case U'\n':
                out += "\\n";
                continue;
            case U'\t':
                out += "\\t";
                continue;
            case U'\r':
                out += "\\r";
                continue;
            case 0x1b:
                out += "\\e";
                continue;
            default:
                break;
        }
        // C0 and C1 controls move the cursor or start sequences; the directional overrides and
        // isolates reorder what follows, and zero-width characters hide inside a word, so a title
        // could show as something else.
        bool control = *c < 0x20 || (*c >= 0x7f && *c <= 0x9f);
        bool reorders = (*c >= 0x202a && *c <= 0x202e) || (*c >= 0x2066 && *c <= 0x2069);
        bool invisible = (*c >= 0x200b && *c <= 0x200f) || *c == 0xfeff;
        if (control && *c < 0x80)
            out += fmt::format("\\x{:02x}", static_cast<unsigned>(*c));
        else if (control || reorders || invisible)
            out += fmt::format("\\u{:04x}", static_cast<unsigned>(*c));
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

}  // namespace platform
