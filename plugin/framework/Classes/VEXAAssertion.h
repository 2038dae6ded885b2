#pragma once

// The framework's assertions: an impossible state or a misuse is a programming error, so the
// process says which condition failed where ("*** Assertion failure in VEXAFTPService.cpp:63:
// completion") and stops.
//
//   KOPA_ASSERT(completion);

#include <string_view>

// `file` is shown by its name alone (__FILE__ holds the build's folders).
[[noreturn]] void KOPAAssertionFailure(std::string_view file, int line, std::string_view condition);

#define KOPA_ASSERT(condition)                                                  \
    do {                                                                        \
        if (!(condition)) KOPAAssertionFailure(__FILE__, __LINE__, #condition); \
    } while (0)
