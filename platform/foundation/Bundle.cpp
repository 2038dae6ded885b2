#include "platform/foundation/Bundle.h"

#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {
std::shared_ptr<Bundle>& mainBundleSlot() {
    static std::shared_ptr<Bundle> bundle;
    return bundle;
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

Result<std::shared_ptr<Bundle>> Bundle::open(const std::filesystem::path& path) {
    auto text = readFile(path / "Info.json");
    if (!text)
        return Status::error(fmt::format("{} is not a bundle: it has no readable Info.json", path.string()));
    try {
        Value info = Value::parseJson(*text);
        if (!info.isDictionary()) throw ValueError("the top level is not a JSON object");
        return std::shared_ptr<Bundle>(new Bundle(path, std::move(info)));
    } catch (const ValueError& e) {
        return Status::error(fmt::format("{}/Info.json is not valid: {}", path.string(), e.what()));
    }
}

std::shared_ptr<Bundle> Bundle::mainBundle() {
    return mainBundleSlot();
}
void Bundle::setMainBundle(std::shared_ptr<Bundle> bundle) {
    mainBundleSlot() = std::move(bundle);
}

std::optional<std::filesystem::path> Bundle::executablePath() const {
    std::string name = m_info.value("CFBundleExecutable", std::string_view{});
    if (name.empty()) return std::nullopt;
    return m_path / name;
}

std::vector<std::string> Bundle::preferredLanguages() {
    std::vector<std::string> languages;
    auto add = [&](std::string tag) {
        if (auto cut = tag.find_first_of("_.@-"); cut != std::string::npos) tag.resize(cut);
        if (tag.empty() || tag == "C" || tag == "POSIX") return;
        tag = AsciiText::lower(tag);
        if (std::find(languages.begin(), languages.end(), tag) == languages.end()) languages.push_back(tag);
    };
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::stringstream s(list);
        std::string item;
        while (std::getline(s, item, ':')) add(item);
    }
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(var); v && *v) {
            add(v);
            break;
        }
    }
    add("en");
    return languages;
}

std::optional<std::filesystem::path> Bundle::pathForResource(const std::string& name) const {
    std::error_code ec;
    for (const auto& lang : preferredLanguages()) {
        auto candidate = m_path / "Resources" / (lang + ".lproj") / name;
        if (std::filesystem::exists(candidate, ec)) return candidate;
    }
    auto candidate = m_path / "Resources" / name;
    if (std::filesystem::exists(candidate, ec)) return candidate;
    return std::nullopt;
}

const Dictionary* Bundle::table(const std::string& name) const {
    auto it = m_tables.find(name);
    if (it == m_tables.end()) {
        std::optional<Dictionary> loaded;
        if (auto path = pathForResource(name + ".json")) {
            if (auto text = readFile(*path)) {
                try {
                    Value v = Value::parseJson(*text);
                    if (v.isDictionary())
                        loaded = v.asDictionary();
                    else
                        Log::format("string table {} is not a JSON object; its keys are shown untranslated",
                                    path->string());
                } catch (const ValueError& e) {
                    Log::format("string table {} is not valid JSON ({}); its keys are shown untranslated",
                                path->string(), e.what());
                }
            }
        }
        it = m_tables.emplace(name, std::move(loaded)).first;
    }
    return it->second ? &*it->second : nullptr;
}

std::string Bundle::localizedStringForKey(const std::string& key, const std::string& value,
                                          const std::string& tableName) const {
    if (const Dictionary* strings = table(tableName)) {
        if (auto it = strings->find(key); it != strings->end() && it->second.isString())
            return it->second.asString();
    }
    return value.empty() ? key : value;
}

}  // namespace platform
