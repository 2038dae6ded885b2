#pragma once

// HostLauncher: the one way tests start zandrel-host (or zandrel-tool). HOME and the XDG data,
// config and cache folders always point into a folder of the test's own, so no run reads or
// writes the settings, history or demo database of whoever runs the tests.

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/PseudoTerminal.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace testsupport {

class HostLauncher {
public:
    // HOME=home, XDG_CONFIG_HOME=home/config, XDG_DATA_HOME=home/data, XDG_CACHE_HOME=home/cache;
    // every command starts with `leading` (such as --db FILE).
    explicit HostLauncher(std::filesystem::path home, std::vector<std::string> leading = {},
                          std::string program = "zandrel-host");
    // zandrel-host under a temporary home of its own, removed with the launcher.
    HostLauncher();
    // zandrel-tool, the same way.
    static HostLauncher tool();

    // One more variable for the program; nullopt leaves it unset.
    HostLauncher& with(const std::string& name, std::optional<std::string> value);

    // The command line, for programs that start it themselves (through /usr/bin/env).
    std::vector<std::string> command(const std::vector<std::string>& args = {}) const;
    ProcessResult run(const std::vector<std::string>& args = {}, const std::string& input = "") const;
    // In the background, standard streams on the given files; the caller waits for it.
    pid_t start(const std::vector<std::string>& args, const std::filesystem::path& in,
                const std::filesystem::path& out, const std::filesystem::path& err) const;
    // On a pseudo-terminal (100 columns, 40 rows unless the caller changes them).
    PseudoTerminal::Options terminal(const std::vector<std::string>& args = {}) const;

private:
    void isolate();

    std::shared_ptr<TempDir> m_ownHome;
    std::filesystem::path m_home;
    std::vector<std::string> m_leading;
    std::string m_program;
    std::map<std::string, std::optional<std::string>> m_environment;
};

// zandrel-host on a database, asking nobody for updates: --db DB --update-url "" first.
inline HostLauncher hostOn(const std::filesystem::path& home, const std::string& db) {
    return HostLauncher(home, {"--db", db, "--update-url", ""});
}

}  // namespace testsupport
