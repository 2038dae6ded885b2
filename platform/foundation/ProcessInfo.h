#pragma once

// ProcessInfo: facts about the running process and system.

#include <optional>
#include <string>

namespace platform {

class ProcessInfo {
public:
    // A human-readable text naming the operating system and its dotted version, such as
    // "Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))", read from the running system.
    static std::string operatingSystemVersionString();
    // Tests pin the text; nullopt goes back to the running system's.
    static void setOperatingSystemVersionStringForTesting(std::optional<std::string> text);
};

}  // namespace platform
