#pragma once

// UTF8: the one decoder of UTF-8 text that the platform and everything above it share, so that
// every reader agrees on what is well-formed (RFC 3629: shortest form only, no surrogates,
// nothing above U+10FFFF).

#include <cstddef>
#include <string_view>

namespace platform {

class UTF8 {
public:
    // The length (1 to 4) of the well-formed sequence that starts at `pos`, with its code point
    // in `codePoint`; 0 when the bytes there are none (`codePoint` is then unspecified).
    // `pos` must be below text.size().
    static size_t decode(std::string_view text, size_t pos, char32_t& codePoint);
};

}  // namespace platform
