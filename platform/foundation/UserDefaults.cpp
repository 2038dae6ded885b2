#include "platform/foundation/UserDefaults.h"

#include <fcntl.h>
#include <fmt/chrono.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDirectories.h"

namespace platform {

namespace {
std::filesystem::path defaultPath(const std::string& domain) {
    std::filesystem::path base = UserDirectories::configHome();
    if (base.empty()) base = std::filesystem::temp_directory_path();
    return base / "zandrel" / (domain + ".json");
}

std::unique_ptr<UserDefaults>& standardInstance() {
    static std::unique_ptr<UserDefaults> instance;
    return instance;
}

// An open descriptor, closed when it goes out of scope (closing a locked file releases its lock).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

// The exclusive lock every writer (and whoever moves a corrupt file aside) holds; an invalid
// descriptor when the lock file cannot be opened.
FileDescriptor lockExclusively(const std::filesystem::path& lockPath, std::string& why) {
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        why = std::strerror(errno);
        return fd;
    }
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            why = std::strerror(errno);
            return FileDescriptor();
        }
    }
    return fd;
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
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
    m_lockPath = m_path;
    m_lockPath += ".lock";
    m_loadStatus = load(false);
}

bool UserDefaults::FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size &&
           sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

namespace {
template <typename Stamp>
Stamp stampOf(const struct stat& info) {
    Stamp stamp;
    stamp.exists = true;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    return stamp;
}
}  // namespace

UserDefaults::FileStamp UserDefaults::currentStamp() const {
    struct stat info {};
    if (::stat(m_path.c_str(), &info) != 0) return FileStamp{};
    return stampOf<FileStamp>(info);
}

Status UserDefaults::reload() {
    m_loadStatus = load(false);
    return m_loadStatus;
}

Status UserDefaults::load(bool locked) const {
    auto withPending = [this](Dictionary values) {
        for (const auto& [key, change] : m_pending) {
            if (change)
                values[key] = *change;
            else
                values.erase(key);
        }
        m_values = std::move(values);
    };
    m_corruptInPlace = false;
    FileDescriptor in(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0) {  // no file yet: empty defaults
        m_stamp = FileStamp{};
        withPending({});
        return Status::ok();
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        ssize_t got = ::read(in.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    try {
        Value parsed = Value::parseJson(text);
        if (!parsed.isDictionary()) throw ValueError("the top level is not a JSON object");
        m_stamp = stampOf<FileStamp>(info);
        withPending(parsed.asDictionary());
        return Status::ok();
    } catch (const ValueError& e) {
        if (!locked) {
            // Another process may be replacing the file right now: look again under the lock,
            // so that only a file that is corrupt for everybody is moved aside. Without a lock
            // file (a read-only folder) the move is tried anyway; it fails there too.
            std::string why;
            FileDescriptor lock = lockExclusively(m_lockPath, why);
            return load(true);
        }
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
        m_stamp = currentStamp();
        withPending({});
        Status status = Status::error(fmt::format(
            "preferences file {} is not valid JSON ({}); it was moved to {} and defaults start empty",
            m_path.string(), e.what(),
            ec ? std::string("(could not move it: ") + ec.message() + ")" : aside.string()));
        Log::write(status.message());
        return status;
    }
}

void UserDefaults::refreshIfChanged() const {
    if (currentStamp() == m_stamp) return;
    m_loadStatus = load(false);
}

Value UserDefaults::objectForKey(std::string_view key) const {
    refreshIfChanged();
    if (auto it = m_values.find(key); it != m_values.end()) return it->second;
    auto registered = m_registered.find(key);
    return registered == m_registered.end() ? Value() : registered->second;
}

const Dictionary& UserDefaults::dictionaryRepresentation() const {
    refreshIfChanged();
    return m_values;
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    for (const auto& [key, value] : defaults) m_registered[key] = value;
}

Status UserDefaults::setObjectForKey(const Value& value, const std::string& key) {
    if (value.isNull()) return removeObjectForKey(key);
    m_values[key] = value;
    m_pending[key] = value;
    return write();
}

Status UserDefaults::removeObjectForKey(std::string_view key) {
    refreshIfChanged();
    auto it = m_values.find(key);
    if (it == m_values.end() && m_pending.find(key) == m_pending.end()) return Status::ok();
    if (it != m_values.end()) m_values.erase(it);
    m_pending[std::string(key)] = std::nullopt;
    return write();
}

Result<Value> UserDefaults::updateObjectForKey(const std::string& key,
                                               const std::function<Value(const Value& current)>& change) {
    Value updated;
    Status status = write([&] {
        auto stored = m_values.find(key);
        auto registered = m_registered.find(key);
        updated = change(stored != m_values.end()           ? stored->second
                         : registered != m_registered.end() ? registered->second
                                                            : Value());
        if (updated.isNull())
            m_values.erase(key);
        else
            m_values[key] = updated;
        m_pending[key] = updated.isNull() ? std::nullopt : std::optional<Value>(updated);
    });
    if (!status) return status;
    return updated;
}

Status UserDefaults::write(const std::function<void()>& underLock) {
    std::error_code ec;
    std::filesystem::path folder = m_path.parent_path().empty() ? "." : m_path.parent_path();
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return Status::error(
            fmt::format("cannot create {}: {}", m_path.parent_path().string(), ec.message()));
    std::string why;
    FileDescriptor lock = lockExclusively(m_lockPath, why);
    if (!lock)
        return Status::error(
            fmt::format("preferences not written: cannot lock {}: {}", m_lockPath.string(), why));
    // What other processes wrote since this one last read is kept: only the pending keys change.
    m_loadStatus = load(true);
    if (m_corruptInPlace)
        return Status::error(fmt::format(
            "preferences not written: {} is corrupt and could not be moved aside", m_path.string()));
    if (underLock) underLock();
    std::filesystem::path tmp = m_path;
    tmp += fmt::format(".tmp-{}", getpid());
    {
        FileDescriptor out(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        std::string text = Value(m_values).toJson(2) + "\n";
        if (!out || !writeAll(out.get(), text) || ::fsync(out.get()) != 0) {
            std::string reason = std::strerror(errno);
            std::filesystem::remove(tmp, ec);
            return Status::error(fmt::format("cannot write preferences to {}: {}", tmp.string(), reason));
        }
    }
    std::filesystem::rename(tmp, m_path, ec);
    if (ec) {
        std::string reason = ec.message();
        std::filesystem::remove(tmp, ec);
        return Status::error(fmt::format("cannot replace {}: {}", m_path.string(), reason));
    }
    // The rename itself reaches the disk with the folder.
    if (FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folderFd)
        ::fsync(folderFd.get());
    m_pending.clear();
    m_stamp = currentStamp();
    return Status::ok();
}

}  // namespace platform
