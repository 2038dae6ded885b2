#pragma once

// UserDefaults: the process's standard user defaults -- the host application's preferences --
// as a dictionary of dynamic values persisted to a JSON file.
//
// The file lives at $XDG_CONFIG_HOME/zandrel/<domain>.json (~/.config/... when unset or relative:
// UserDirectories::configHome) unless a path is given. Several processes of one account share it (two hosts,
// the tool): a write takes an exclusive lock on "<file>.lock" beside it, reads the file again, applies only
// the keys this instance set or removed since its last write, and replaces the file atomically (a temporary
// file in the same folder, flushed to disk, renamed over the old one), so every key another
// process wrote in between is kept and a crash never leaves half a file. A read re-reads the
// file when it changed on disk (inode, size, modification or change time differ), so another
// process's write is seen at the next read; keys set here whose write failed still show their
// value here. A file that cannot be parsed is reported to the log and moved aside to
// "<file>.corrupt-<time>" (under the lock) before anything new is written: its contents are
// never silently overwritten, and while it cannot be moved nothing is written.

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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
    // (the value stays set in memory either way, and the next write tries it again).
    Status setObjectForKey(const Value& value, const std::string& key);
    Status removeObjectForKey(std::string_view key);
    // A value computed from the stored one (a list one adds to) with no other process's write in
    // between: under the lock, the file is read again and `change` is given the key's value
    // there (the registered default, else null, when it has none); its result is stored (null
    // removes the key) and returned. The error of a failed write; `change` is not called when the
    // lock cannot be had or the file is corrupt and cannot be moved aside.
    Result<Value> updateObjectForKey(const std::string& key,
                                     const std::function<Value(const Value& current)>& change);
    // The stored values as the file has them now, with this instance's unwritten changes.
    const Dictionary& dictionaryRepresentation() const;

    // Re-reads the file now, whether or not it looks changed.
    Status reload();
    // The status of the last load: not OK when the file was corrupt and moved aside.
    const Status& loadStatus() const { return m_loadStatus; }

private:
    // What identifies one version of the file on disk.
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileStamp& other) const;
    };
    FileStamp currentStamp() const;
    // Reads the file into m_values (with the pending changes on top); `locked` says the caller
    // holds the lock, which moving a corrupt file aside needs.
    Status load(bool locked) const;
    void refreshIfChanged() const;
    // Locks, re-reads the file, runs `underLock` (which may change pending keys) and writes.
    Status write(const std::function<void()>& underLock = {});

    std::filesystem::path m_path;
    std::filesystem::path m_lockPath;
    mutable Dictionary m_values;
    mutable FileStamp m_stamp;
    // Keys set (a value) or removed (nullopt) here and not yet written to the file.
    std::map<std::string, std::optional<Value>, std::less<>> m_pending;
    Dictionary m_registered;
    mutable Status m_loadStatus;
    mutable bool m_corruptInPlace = false;  // a corrupt file that could not be moved aside is at m_path
};

}  // namespace platform
