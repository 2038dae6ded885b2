#pragma once

// PercentEncoding: bytes made safe to put inside a URL.

#include <string>
#include <string_view>

namespace platform {

class PercentEncoding {
public:
    // `bytes` with every byte except ASCII letters, digits and "-._~" (RFC 3986's unreserved
    // characters) written as "%" and two upper-case hexadecimal digits: the reserved characters,
    // the per cent sign (so encoding twice encodes twice), a space ("%20") and every byte of a
    // character outside ASCII, whether or not the bytes are valid UTF-8. The result is one path
    // segment or one query value, whatever the input.
    static std::string encoded(std::string_view bytes);
};

}  // namespace platform
