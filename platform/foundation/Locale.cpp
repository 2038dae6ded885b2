#include "platform/foundation/Locale.h"

#include <cstdlib>

#include "platform/foundation/AsciiText.h"

namespace platform {

namespace {
constexpr const char* kFallbackIdentifier = "en_US";

std::optional<std::string>& pinned() {
    static std::optional<std::string> identifier;
    return identifier;
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

std::optional<std::string> Locale::identifierFromPosixName(std::string_view name) {
    if (auto cut = name.find_first_of(".@"); cut != std::string_view::npos) name = name.substr(0, cut);
    std::string_view language = name, region;
    if (auto sep = name.find_first_of("_-"); sep != std::string_view::npos) {
        language = name.substr(0, sep);
        region = name.substr(sep + 1);
    }
    // ISO 639 languages have two or three letters, regions two letters or three digits; anything
    // else (C, POSIX, a path, garbage) is no locale name.
    auto letters = [](std::string_view s) {
        for (char c : s)
            if (!isAsciiLetter(c)) return false;
        return true;
    };
    if (language.size() < 2 || language.size() > 3 || !letters(language)) return std::nullopt;
    std::string identifier;
    for (char c : language) identifier += AsciiText::lower(c);
    bool digits = region.size() == 3 && region.find_first_not_of("0123456789") == std::string_view::npos;
    if ((region.size() == 2 && letters(region)) || digits) {
        identifier += '_';
        for (char c : region) identifier += upper(c);
    }
    return identifier;
}

std::string Locale::currentLocaleIdentifier() {
    if (pinned()) return *pinned();
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value) continue;
        // The first variable set decides, as for the C library: a "C" there is not overridden
        // by a later one.
        return identifierFromPosixName(value).value_or(kFallbackIdentifier);
    }
    return kFallbackIdentifier;
}

std::string Locale::currentLanguageCode() {
    std::string identifier = currentLocaleIdentifier();
    return identifier.substr(0, identifier.find('_'));
}

void Locale::setCurrentForTesting(std::optional<std::string> identifier) {
    pinned() = std::move(identifier);
}

}  // namespace platform
