#include "platform/foundation/ProcessInfo.h"

#include <sys/utsname.h>

#include <fstream>
#include <string_view>
#include <system_error>

namespace platform {

namespace {

constexpr size_t kLongestVersion = 64;

std::optional<std::string>& override() {
    static std::optional<std::string> text;
    return text;
}

std::optional<std::optional<std::string>>& versionOverride() {
    static std::optional<std::optional<std::string>> version;
    return version;
}

// The beginning of a file: os-release files are tiny, and a huge or endless one (a device, a
// mistake) must cost no more than this.
std::string readBounded(const std::filesystem::path& path) {
    // Only a regular file: opening a FIFO would wait for a writer, a device may never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    std::ifstream in(path, std::ios::binary);
    std::string text(ProcessInfo::kOsReleaseReadLimit, '\0');
    if (!in) return {};
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

// The value of the last `KEY=value` line, with shell quoting undone: os-release is a list of
// shell variable assignments.
std::optional<std::string> assignedValue(std::string_view text, std::string_view key) {
    std::optional<std::string> found;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=')
            continue;
        std::string_view raw = line.substr(key.size() + 1);
        std::string value;
        if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
            value = raw.substr(1, raw.size() - 2);
        } else if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
            raw = raw.substr(1, raw.size() - 2);
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size() &&
                    std::string_view("\"\\$`").find(raw[i + 1]) != std::string_view::npos)
                    ++i;
                value += raw[i];
            }
        } else {
            value = raw;
        }
        found = std::move(value);
    }
    return found;
}

bool isVersionToken(const std::string& s) {
    if (s.empty() || s.size() > kLongestVersion) return false;
    for (char c : s) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-' || c == '~';
        if (!ok) return false;
    }
    return true;
}

std::filesystem::path systemOsRelease() {
    std::error_code ec;
    if (std::filesystem::exists("/etc/os-release", ec)) return "/etc/os-release";
    return "/usr/lib/os-release";
}

std::string prettyName() {
    return assignedValue(readBounded(systemOsRelease()), "PRETTY_NAME").value_or("");
}

}  // namespace

std::string ProcessInfo::operatingSystemVersionString() {
    if (override()) return *override();
    struct utsname u {};
    std::string text = "Unknown system";
    if (uname(&u) == 0) text = std::string(u.sysname) + " " + u.release;
    if (auto pretty = prettyName(); !pretty.empty()) text += " (" + pretty + ")";
    return text;
}

void ProcessInfo::setOperatingSystemVersionStringForTesting(std::optional<std::string> text) {
    override() = std::move(text);
}

std::optional<std::string> ProcessInfo::operatingSystemProductVersion() {
    if (versionOverride()) return *versionOverride();
    return operatingSystemProductVersion(systemOsRelease());
}

std::optional<std::string> ProcessInfo::operatingSystemProductVersion(
    const std::filesystem::path& osRelease) {
    auto value = assignedValue(readBounded(osRelease), "VERSION_ID");
    if (!value || !isVersionToken(*value)) return std::nullopt;
    return value;
}

void ProcessInfo::setOperatingSystemProductVersionForTesting(
    std::optional<std::optional<std::string>> version) {
    versionOverride() = std::move(version);
}

}  // namespace platform
