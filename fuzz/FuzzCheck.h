#pragma once

// What the fuzz targets share: a check that stops the run with a message (libFuzzer saves the
// input that made it fail), and a compact printable form of a value for those messages.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/foundation/Value.h"

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// A value's JSON for a failure message, cut to a readable length.
inline std::string shown(const platform::Value& value) {
    std::string text = value.toJson();
    if (text.size() > 2000) text = text.substr(0, 2000) + "...";
    return text;
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(condition, detail) ((condition) ? (void)0 : ::fuzzcheck::fail(#condition, (detail)))
