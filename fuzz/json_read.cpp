// JSON reading: any bytes either read as a value or fail with ValueError, never another way.
// A value that was read writes back (compact and indented) to JSON that reads as the same value,
// and the checked and defaulted accessors answer every key without undefined behaviour.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/foundation/Value.h"

namespace {

void touchMembers(const platform::Value& value) {
    if (value.isDictionary()) {
        for (const auto& [key, member] : value.asDictionary()) {
            FUZZ_CHECK(value.find(key) != nullptr, key);
            FUZZ_CHECK(value.at(key) == member, key);
            (void)value.value(key, int64_t{0});
            (void)value.value(key, false);
            (void)value.value(key, std::string_view{});
            if (member.isNumber()) {
                (void)member.asReal();
                try {
                    (void)member.asInteger();
                } catch (const platform::ValueError&) {
                    // out of the integer range: refused, which is fine
                }
            }
        }
        FUZZ_CHECK(value.find("\x01no such key") == nullptr, "a missing key was found");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::Value value;
    try {
        value = platform::Value::parseJson(text);
    } catch (const platform::ValueError&) {
        return 0;
    }
    touchMembers(value);
    for (int indent : {-1, 2}) {
        std::string written = value.toJson(indent);
        platform::Value again;
        try {
            again = platform::Value::parseJson(written);
        } catch (const platform::ValueError& error) {
            fuzzcheck::fail("written JSON does not read back", std::string(error.what()) + "\n" + written);
        }
        FUZZ_CHECK(again == value, "read " + fuzzcheck::shown(value) + "\nwrote " + written);
    }
    return 0;
}
