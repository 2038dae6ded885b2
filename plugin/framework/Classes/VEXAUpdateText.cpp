#include "VEXAUpdateText.h"

#include <array>
#include <vector>

std::string KOPAUpdateText::format(std::string_view pattern,
                                   std::initializer_list<std::string_view> arguments) {
    std::vector<std::string_view> args(arguments);
    std::string out;
    out.reserve(pattern.size());
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        char d = pattern[i + 1];
        if (d == '%') {
            out += '%';
            ++i;
        } else if (d == '@' && next < args.size()) {
            out += args[next++];
            ++i;
        } else if (d >= '1' && d <= '9' && i + 3 < pattern.size() && pattern[i + 2] == '$' &&
                   pattern[i + 3] == '@' && static_cast<size_t>(d - '1') < args.size()) {
            out += args[static_cast<size_t>(d - '1')];
            i += 3;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {
// The length of the UTF-8 sequence starting at text[i] and its code point; 0 when invalid.
size_t decodeUtf8(std::string_view text, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t length;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}
}  // namespace

std::string KOPAUpdateText::plainText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        size_t length = decodeUtf8(text, i, cp);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        bool control = (cp < 0x20 && cp != '\n' && cp != '\t') || (cp >= 0x7F && cp <= 0x9F);
        if (!control) out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::optional<std::string> KOPAUpdateText::stringForKey(const platform::Value& document,
                                                        std::string_view key) {
    const platform::Value* found = document.isDictionary() ? document.find(key) : nullptr;
    if (!found || !found->isString()) return std::nullopt;
    return found->asString();
}

std::string KOPAUpdateText::bulletList(const platform::Value& changes) {
    std::string list;
    if (!changes.isArray()) return list;
    for (const auto& change : changes.asArray()) {
        if (!change.isString()) continue;
        list += "\u2022 ";
        list += plainText(change.asString());
        list += '\n';
    }
    return list;
}

bool KOPAUpdateText::isWebURL(std::string_view url) {
    auto lowerPrefix = [&](std::string_view prefix) {
        if (url.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    size_t hostStart;
    if (lowerPrefix("http://"))
        hostStart = 7;
    else if (lowerPrefix("https://"))
        hostStart = 8;
    else
        return false;
    for (unsigned char c : url)
        if (c <= 0x20 || c == 0x7F) return false;
    size_t hostEnd = url.find_first_of("/?#", hostStart);
    std::string_view authority =
        url.substr(hostStart, hostEnd == std::string_view::npos ? url.npos : hostEnd - hostStart);
    if (auto at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (auto colon = authority.rfind(':');
        colon != std::string_view::npos && authority.find(']') == authority.npos)
        authority = authority.substr(0, colon);
    return !authority.empty();
}
