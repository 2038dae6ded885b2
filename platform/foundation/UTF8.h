#pragma once

// UTF8: the one decoder of UTF-8 text that the platform and everything above it share, so that
// every reader agrees on what is well-formed (RFC 3629: shortest form only, no surrogates,
// nothing above U+10FFFF).

#include <cstddef>
#include <optional>
#include <string_view>

namespace platform {

class UTF8 {
public:
    // The length (1 to 4) of the well-formed sequence that starts at `pos`, with its code point
    // in `codePoint`; 0 when the bytes there are none (`codePoint` is then unspecified).
    // `pos` must be below text.size().
    static size_t decode(std::string_view text, size_t pos, char32_t& codePoint);

    // When no well-formed sequence starts at `pos`: how many bytes there one U+FFFD stands for,
    // the longest start of a well-formed sequence, at least 1 (Unicode's "maximal subpart", so
    // every replacing reader replaces alike). 0 when a well-formed sequence starts there.
    static size_t malformedLength(std::string_view text, size_t pos);

    // Whether the whole text is well-formed.
    static bool isValid(std::string_view text) { return firstMalformed(text) == std::string_view::npos; }
    // The offset of the first byte that starts no well-formed sequence, or npos.
    static size_t firstMalformed(std::string_view text);

    // The surrogate (U+D800..U+DFFF) that the three bytes at `pos` would encode if UTF-8 allowed
    // them (text converted from UTF-16 one unit at a time); none otherwise. Lets a reader name a
    // surrogate where it refuses one.
    static std::optional<char32_t> encodedSurrogate(std::string_view text, size_t pos);

    // The start of `text` cut to at most `limit` bytes without splitting a character, for
    // showing a long text by its start: the whole text when it is no longer. The cut goes back
    // to the nearest byte at or before `limit` that is not a continuation byte (10xxxxxx), so a
    // run of stray continuation bytes is dropped together with the byte before it.
    static std::string_view truncated(std::string_view text, size_t limit);

private:
    // Decodes at `pos`: true with the sequence's length and code point, or false with the
    // malformed length.
    static bool scan(std::string_view text, size_t pos, size_t& length, char32_t& codePoint);
};

}  // namespace platform
