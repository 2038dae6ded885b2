#include "VEXAUpdateText.h"

#include <vector>

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/DisplayText.h"

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

std::string KOPAUpdateText::plainText(std::string_view text) {
    return platform::DisplayText::printable(text);
}

std::optional<std::string> KOPAUpdateText::stringForKey(const platform::Value& document,
                                                        std::string_view key) {
    const platform::Value* found = document.isDictionary() ? document.find(key) : nullptr;
    if (!found || !found->isString()) return std::nullopt;
    return found->asString();
}

std::optional<std::string> KOPAUpdateText::bulletList(const platform::Value& changes) {
    if (!changes.isArray()) return std::nullopt;
    std::string list;
    for (const auto& change : changes.asArray()) {
        if (!change.isString()) return std::nullopt;
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
            if (platform::AsciiText::lower(url[i]) != prefix[i]) return false;
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
