#include "platform/foundation/UserDirectories.h"

#include <cstdlib>

namespace platform {

namespace {

std::filesystem::path absoluteFrom(const char* variable) {
    const char* value = std::getenv(variable);
    return value && value[0] == '/' ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path userDirectory(const char* variable, const std::filesystem::path& underHome) {
    if (auto path = absoluteFrom(variable); !path.empty()) return path;
    if (auto home = absoluteFrom("HOME"); !home.empty()) return home / underHome;
    return {};
}

}  // namespace

std::filesystem::path UserDirectories::dataHome() {
    return userDirectory("XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

std::filesystem::path UserDirectories::configHome() {
    return userDirectory("XDG_CONFIG_HOME", ".config");
}

}  // namespace platform
