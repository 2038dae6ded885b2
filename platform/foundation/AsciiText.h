#pragma once

// AsciiText: the small word helpers of command readers and protocol parsers, which work on ASCII
// alone whatever the locale: a non-ASCII byte is never changed nor taken for a digit.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class AsciiText {
public:
    // A to Z made a to z; every other byte unchanged.
    static char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
    static std::string lower(std::string_view text);

    // Whether the text is a small whole number: 1 to 9 ASCII digits, so it always fits an
    // unsigned long (std::stoul never throws on it).
    static bool isNumber(std::string_view text);

    // words[from], words[from + 1], ... joined by single spaces; "" when from is past the end.
    static std::string joinWords(const std::vector<std::string>& words, size_t from);
};

}  // namespace platform
