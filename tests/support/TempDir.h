#pragma once

// TempDir: a fresh directory under $TMPDIR for one test, removed with everything in it.

#include <filesystem>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

    void write(const std::string& name, const std::string& contents) const;
    std::string read(const std::string& name) const;

private:
    std::filesystem::path m_path;
};

}  // namespace testsupport
