// Percent-encoding for a URL: unreserved ASCII stays, every other byte is escaped in upper case.

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/PercentEncoding.h"

namespace {

TEST(PercentEncodingTest, EscapesEveryByteButTheUnreserved) {
    struct Case {
        std::string bytes, encoded;
    };
    const Case cases[] = {
        {"", ""},
        {"AZaz09-._~", "AZaz09-._~"},
        {"a b", "a%20b"},
        {"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
        {"50%25", "50%2525"},          // encoding twice encodes twice
        {"caf\xC3\xA9", "caf%C3%A9"},  // every byte of a character outside ASCII
        {"\xFF\x80", "%FF%80"},        // bytes that are not UTF-8 alike
        {std::string("nul\0\n", 5), "nul%00%0A"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::PercentEncoding::encoded(c.bytes), c.encoded) << c.bytes;
}

}  // namespace
