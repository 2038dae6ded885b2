#include "plugin/framework/Classes/VEXAAssertion.h"

#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>

void KOPAAssertionFailure(std::string_view file, int line, std::string_view condition) {
    if (auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    // One write, flushed before abort() so that the line is never lost.
    std::fputs(fmt::format("*** Assertion failure in {}:{}: {}\n", file, line, condition).c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}
