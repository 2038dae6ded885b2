#pragma once

// Bundle: a directory holding an Info.json information dictionary, resources and string tables.
//
//   <bundle>/Info.json                       CFBundleIdentifier, CFBundleShortVersionString,
//                                            NSPrincipalClass, CFBundleExecutable, ...
//   <bundle>/<CFBundleExecutable>            the code, for loadable bundles (a shared library)
//   <bundle>/Resources/<name>                resources such as window descriptions
//   <bundle>/Resources/<lang>.lproj/<Table>.json   string tables: a JSON object key -> text
//
// The main bundle is the host application's own.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace platform {

class Bundle {
public:
    static Result<std::shared_ptr<Bundle>> open(const std::filesystem::path& path);

    static std::shared_ptr<Bundle> mainBundle();
    static void setMainBundle(std::shared_ptr<Bundle> bundle);

    const std::filesystem::path& bundlePath() const { return m_path; }
    const Value& infoDictionary() const { return m_info; }
    std::string bundleIdentifier() const { return m_info.value("CFBundleIdentifier", std::string_view{}); }
    std::optional<std::filesystem::path> executablePath() const;

    // A resource by file name, looked up in Resources/<lang>.lproj for the user's languages,
    // then in Resources/.
    std::optional<std::filesystem::path> pathForResource(const std::string& name) const;

    // The text for `key` in string table `table` (default "Localizable"), in the user's language
    // or English. A missing key gives `value` when it is not empty, otherwise the key itself.
    std::string localizedStringForKey(const std::string& key, const std::string& value = "",
                                      const std::string& table = "Localizable") const;

    // The user's languages in order of preference, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG
    // ("de_CH.UTF-8" gives "de"), always ending with "en".
    static std::vector<std::string> preferredLanguages();

private:
    Bundle(std::filesystem::path path, Value info) : m_path(std::move(path)), m_info(std::move(info)) {}
    const Dictionary* table(const std::string& name) const;

    std::filesystem::path m_path;
    Value m_info;
    mutable std::map<std::string, std::optional<Dictionary>> m_tables;
};

}  // namespace platform
