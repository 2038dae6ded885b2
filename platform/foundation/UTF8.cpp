#include "platform/foundation/UTF8.h"

namespace platform {

bool UTF8::scan(std::string_view text, size_t pos, size_t& length, char32_t& codePoint) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        codePoint = lead;
        length = 1;
        return true;
    }
    // The lead decides how many bytes follow and the range of the first of them: that range
    // alone rules out overlong forms (E0, F0), surrogates (ED) and code points past U+10FFFF
    // (F4). C0 and C1 would only start overlong forms, F5 to FF only code points past U+10FFFF.
    size_t trailing;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        trailing = 1, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trailing = 2, codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trailing = 3, codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        length = 1;
        return false;
    }
    for (size_t k = 1; k <= trailing; ++k) {
        if (pos + k >= text.size() || byte(pos + k) < low || byte(pos + k) > high) {
            length = k;
            return false;
        }
        codePoint = (codePoint << 6) | (byte(pos + k) & 0x3F);
        low = 0x80, high = 0xBF;
    }
    length = trailing + 1;
    return true;
}

size_t UTF8::decode(std::string_view text, size_t pos, char32_t& codePoint) {
    size_t length = 0;
    return scan(text, pos, length, codePoint) ? length : 0;
}

size_t UTF8::malformedLength(std::string_view text, size_t pos) {
    size_t length = 0;
    char32_t ignored = 0;
    return scan(text, pos, length, ignored) ? 0 : length;
}

size_t UTF8::firstMalformed(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        // ASCII runs are the common case and need no decoding.
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        size_t length = 0;
        char32_t ignored = 0;
        if (!scan(text, pos, length, ignored)) return pos;
        pos += length;
    }
    return std::string_view::npos;
}

std::optional<char32_t> UTF8::encodedSurrogate(std::string_view text, size_t pos) {
    if (text.size() - pos < 3 || static_cast<unsigned char>(text[pos]) != 0xED) return std::nullopt;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    const auto third = static_cast<unsigned char>(text[pos + 2]);
    if (second < 0xA0 || second > 0xBF || (third & 0xC0) != 0x80) return std::nullopt;
    return char32_t{0xD000} | char32_t(second & 0x3F) << 6 | char32_t(third & 0x3F);
}

std::string_view UTF8::truncated(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

}  // namespace platform
