#include "platform/foundation/ProcessInfo.h"

#include <sys/utsname.h>

#include <fstream>

namespace platform {

namespace {
std::optional<std::string>& override() {
    static std::optional<std::string> text;
    return text;
}

std::string prettyName() {
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            std::string v = line.substr(12);
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return v;
        }
    }
    return {};
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

}  // namespace platform
