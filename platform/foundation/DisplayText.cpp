#include "platform/foundation/DisplayText.h"

#include <fmt/format.h>

#include "platform/foundation/UTF8.h"

namespace platform {

namespace {

// Unicode's format characters (general category Cf) and the line and paragraph separators:
// invisible, or changing how the text around them is shown.
bool isFormatCharacter(char32_t c) {
    return c == 0xAD || (c >= 0x600 && c <= 0x605) || c == 0x61C || c == 0x6DD || c == 0x70F || c == 0x8E2 ||
           c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x2028 && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || c == 0x110BD || c == 0x110CD || (c >= 0x13430 && c <= 0x1343F) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || c == 0xE0001 ||
           (c >= 0xE0020 && c <= 0xE007F);
}

void appendEscaped(std::string& out, char32_t c) {
    switch (c) {
        case '\n':
            out += "\\n";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\r':
            out += "\\r";
            return;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7F)
        out += fmt::format("\\x{:02x}", static_cast<unsigned>(c));
    else if (c > 0xFFFF)
        out += fmt::format("\\U{:08x}", static_cast<unsigned>(c));
    else
        out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
}

}  // namespace

bool DisplayText::isEscaped(char32_t c) {
    // C0 and C1 controls move the cursor or start sequences on some terminals.
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || isFormatCharacter(c);
}

std::string DisplayText::printable(std::string_view text, size_t maxChars) {
    std::string out;
    out.reserve(text.size());
    size_t chars = 0;
    for (size_t at = 0; at < text.size(); ++chars) {
        if (maxChars && chars == maxChars) {
            out += "…";
            break;
        }
        char32_t c = 0;
        const size_t length = UTF8::decode(text, at, c);
        if (length == 0) {
            out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (isEscaped(c))
            appendEscaped(out, c);
        else
            out.append(text, at, length);
        at += length;
    }
    return out;
}

}  // namespace platform
