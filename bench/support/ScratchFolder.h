#pragma once

// ScratchFolder: a new, empty folder under the system's temporary folder for one benchmark's
// files, removed with everything in it when the object goes.

#include <filesystem>

namespace bench {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_dir; }
    // The database file a benchmark uses in it.
    std::filesystem::path databaseFile() const { return m_dir / "bench.zandrel"; }

private:
    std::filesystem::path m_dir;
};

}  // namespace bench
