#pragma once

// ProcessInfo: facts about the running process and system.

#include <filesystem>
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

    // The system's release as a version text, such as "12" or "22.04": VERSION_ID of
    // /etc/os-release, or of /usr/lib/os-release when the first does not exist. None when the
    // file or the value is missing, or the value is not a plain version token (letters, digits
    // and . _ - ~, at most 64 of them).
    static std::optional<std::string> operatingSystemProductVersion();
    // The same from a given os-release file. Reads at most kOsReleaseReadLimit bytes of it.
    static std::optional<std::string> operatingSystemProductVersion(const std::filesystem::path& osRelease);
    // Tests pin the version: an inner nullopt pins "none"; an outer nullopt unpins.
    static void setOperatingSystemProductVersionForTesting(std::optional<std::optional<std::string>> version);

    static constexpr size_t kOsReleaseReadLimit = 64 * 1024;
};

}  // namespace platform
