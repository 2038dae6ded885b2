#include "platform/foundation/UserDefaults.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/foundation/Log.h"

namespace platform {

namespace {
std::filesystem::path defaultPath(const std::string& domain) {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        base = std::filesystem::temp_directory_path();
    return base / "zandrel" / (domain + ".json");
}

std::unique_ptr<UserDefaults>& standardInstance() {
    static std::unique_ptr<UserDefaults> instance;
    return instance;
}
}  // namespace

UserDefaults& UserDefaults::standard() {
    auto& instance = standardInstance();
    if (!instance) instance = std::make_unique<UserDefaults>(defaultPath("zandrel-host"));
    return *instance;
}

void UserDefaults::setStandardPath(const std::filesystem::path& path) {
    standardInstance() = std::make_unique<UserDefaults>(path);
}

UserDefaults::UserDefaults(std::filesystem::path path) : m_path(std::move(path)) {
    m_loadStatus = reload();
}

Status UserDefaults::reload() {
    m_values.clear();
    m_corruptInPlace = false;
    std::ifstream in(m_path, std::ios::binary);
    if (!in) return Status::ok();  // no file yet: empty defaults
    std::stringstream text;
    text << in.rdbuf();
    try {
        Value parsed = Value::parseJson(text.str());
        if (!parsed.isDictionary()) throw ValueError("the top level is not a JSON object");
        m_values = parsed.asDictionary();
        return Status::ok();
    } catch (const ValueError& e) {
        auto stamp = fmt::format("{:%Y%m%d-%H%M%S}", fmt::localtime(std::time(nullptr)));
        std::filesystem::path aside = m_path;
        aside += ".corrupt-" + stamp;
        // rename() replaces its target: a second corrupt file within the same second must not
        // overwrite the first one kept aside.
        std::error_code ec;
        for (int n = 1; std::filesystem::exists(aside, ec) && n < 1000; ++n) {
            aside = m_path;
            aside += fmt::format(".corrupt-{}-{}", stamp, n);
        }
        std::filesystem::rename(m_path, aside, ec);
        // If it could not be moved, writing would overwrite it: refuse until it is dealt with.
        m_corruptInPlace = static_cast<bool>(ec);
        Status status = Status::error(fmt::format(
            "preferences file {} is not valid JSON ({}); it was moved to {} and defaults start empty",
            m_path.string(), e.what(),
            ec ? std::string("(could not move it: ") + ec.message() + ")" : aside.string()));
        Log::write(status.message());
        return status;
    }
}

Value UserDefaults::objectForKey(std::string_view key) const {
    if (auto it = m_values.find(key); it != m_values.end()) return it->second;
    auto registered = m_registered.find(key);
    return registered == m_registered.end() ? Value() : registered->second;
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    for (const auto& [key, value] : defaults) m_registered[key] = value;
}

Status UserDefaults::setObjectForKey(const Value& value, const std::string& key) {
    if (value.isNull()) return removeObjectForKey(key);
    m_values[key] = value;
    return write();
}

Status UserDefaults::removeObjectForKey(std::string_view key) {
    auto it = m_values.find(key);
    if (it == m_values.end()) return Status::ok();
    m_values.erase(it);
    return write();
}

Status UserDefaults::write() const {
    if (m_corruptInPlace)
        return Status::error(fmt::format(
            "preferences not written: {} is corrupt and could not be moved aside", m_path.string()));
    std::error_code ec;
    std::filesystem::create_directories(m_path.parent_path(), ec);
    if (ec)
        return Status::error(
            fmt::format("cannot create {}: {}", m_path.parent_path().string(), ec.message()));
    std::filesystem::path tmp = m_path;
    tmp += fmt::format(".tmp-{}", getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << Value(m_values).toJson(2) << "\n";
        out.flush();
        if (!out) {
            std::filesystem::remove(tmp, ec);
            return Status::error(fmt::format("cannot write preferences to {}", tmp.string()));
        }
    }
    std::filesystem::rename(tmp, m_path, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
        return Status::error(fmt::format("cannot replace {}: {}", m_path.string(), ec.message()));
    }
    return Status::ok();
}

}  // namespace platform
