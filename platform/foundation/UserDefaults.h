#pragma once

// UserDefaults: the process's standard user defaults -- the host application's preferences --
// as a dictionary of dynamic values persisted to a JSON file.
//
// The file lives at $XDG_CONFIG_HOME/zandrel/<domain>.json (~/.config/... when unset) unless a
// path is given. Writes are atomic (a temporary file renamed over the old one), so a crash
// never leaves half a file. A file that cannot be parsed is reported to the log and moved aside
// to "<file>.corrupt-<time>" before anything new is written: its contents are never silently
// overwritten.

#include <filesystem>
#include <memory>
#include <string>

#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace platform {

class UserDefaults {
public:
    // The process's standard defaults. Until setStandardPath() is called they use the domain
    // "zandrel-host" under the user's config directory.
    static UserDefaults& standard();
    static void setStandardPath(const std::filesystem::path& path);

    explicit UserDefaults(std::filesystem::path path);

    const std::filesystem::path& path() const { return m_path; }

    // Missing keys give the registered default, else null. Reads never insert.
    Value objectForKey(std::string_view key) const;
    // Values a key has while nothing is stored for it (registerDefaults:). They live in memory
    // only: the file gets a value when someone sets it. Later registrations replace earlier ones.
    void registerDefaults(const Dictionary& defaults);
    // Stores and writes the file at once; the returned status tells whether the write worked
    // (the value stays set in memory either way).
    Status setObjectForKey(const Value& value, const std::string& key);
    Status removeObjectForKey(std::string_view key);
    const Dictionary& dictionaryRepresentation() const { return m_values; }

    // Re-reads the file (another process may have written it).
    Status reload();
    // The status of the last load: not OK when the file was corrupt and moved aside.
    const Status& loadStatus() const { return m_loadStatus; }

private:
    Status write() const;

    std::filesystem::path m_path;
    Dictionary m_values;
    Dictionary m_registered;
    Status m_loadStatus;
    bool m_corruptInPlace = false;  // a corrupt file that could not be moved aside is still at m_path
};

}  // namespace platform
