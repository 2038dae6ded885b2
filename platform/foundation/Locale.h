#pragma once

// Locale: the user's current locale, as the platform names it.
//
// The identifier is language and region joined by "_" ("de_CH"), read from the POSIX locale
// variables in their order of precedence for messages: LC_ALL, then LC_MESSAGES, then LANG (the
// first one set and not empty). The encoding and modifier are dropped ("de_CH.UTF-8@euro" gives
// "de_CH"); the language is lower case and the region upper case. A variable that is unset, "C",
// "POSIX" or not a locale name at all gives "en_US": a system left at its defaults speaks US
// English, and a document keyed by locale then still finds its English entry (or "default").
//
// languageCode() is the bare language of the same locale ("de" for "de_CH").

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Locale {
public:
    static std::string currentLocaleIdentifier();
    static std::string currentLanguageCode();

    // The identifier a locale variable's value stands for, by the rules above; nullopt when the
    // value names no locale (empty, "C", "POSIX", or not shaped like "ll" or "ll_RR").
    static std::optional<std::string> identifierFromPosixName(std::string_view name);

    // Tests pin the locale ("de_CH"); nullopt goes back to the environment's.
    static void setCurrentForTesting(std::optional<std::string> identifier);
};

}  // namespace platform
