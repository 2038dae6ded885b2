#pragma once

// The process log (the platform's NSLog): one line per call, written to standard error as
// "<timestamp> <process>[<pid>] <text>". Tests and front ends may install a sink to capture
// lines instead; the sink receives the text without the prefix.

#include <fmt/format.h>

#include <functional>
#include <string>
#include <string_view>

namespace platform {

class Log {
public:
    using Sink = std::function<void(std::string_view text)>;

    static void write(std::string_view text);
    template <typename... Args>
    static void format(fmt::format_string<Args...> f, Args&&... args) {
        write(fmt::format(f, std::forward<Args>(args)...));
    }

    // Replaces the sink; returns the previous one. An empty sink restores standard error.
    static Sink setSink(Sink sink);
};

}  // namespace platform
