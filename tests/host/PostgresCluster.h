#pragma once

// PostgresCluster: a PostgreSQL cluster of one test's own (scripts/pg-cluster) in
// /tmp/zr-NAME-PID, which the test may stop, crash, start and reconfigure without touching the
// shared test cluster, or start as a streaming standby of another such cluster and promote. It
// is stopped and its folder removed when the object goes. Cases that need one start with
// ZANDREL_REQUIRE_POSTGRES_SERVER().

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/host/PostgresTestDatabase.h"

namespace hosttest {

class PostgresCluster {
public:
    // Why no private cluster can be made here, or "" when PostgreSQL's server programs are there.
    static std::string missingServerPrograms() {
        std::error_code error;
        for (const auto& version : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
            const auto bin = version.path() / "bin";
            if (std::filesystem::exists(bin / "initdb", error) &&
                std::filesystem::exists(bin / "pg_ctl", error) &&
                std::filesystem::exists(bin / "pg_basebackup", error))
                return "";
        }
        return "PostgreSQL's server programs are not installed (no /usr/lib/postgresql/*/bin/initdb); run "
               "scripts/setup";
    }

    explicit PostgresCluster(const std::string& name)
        : m_dir("/tmp/zr-" + name + "-" + std::to_string(getpid())) {}
    ~PostgresCluster() {
        if (!m_used) return;
        stop();
        std::filesystem::remove_all(m_dir);
    }
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // Creates the cluster the first time and starts it: its URI, "" when it did not start.
    const std::string& start() { return m_uri = script("start"); }
    // The first time, a copy of the running `primary` that follows it by streaming; then started
    // as start() does.
    const std::string& startAsStandbyOf(const PostgresCluster& primary) {
        return m_uri = script("standby", primary.m_dir);
    }
    // Sessions are ended and the server shuts down cleanly; the data stays.
    void stop() const { script("stop"); }
    // At once, as a power cut would: no shutdown checkpoint, sessions cut off.
    void crash() const { script("crash"); }
    // A standby takes writes from now on; "" when it could not be promoted.
    std::string promote() const { return script("promote"); }

    const std::string& uri() const { return m_uri; }
    // "127.0.0.1:PORT", as a multi-host URI names it.
    std::string address() const {
        const auto at = m_uri.find('@'), slash = m_uri.rfind('/');
        return at == std::string::npos || slash < at ? "" : m_uri.substr(at + 1, slash - at - 1);
    }
    std::string query(const std::string& sql) const { return queryOn(m_uri, sql); }

private:
    // scripts/pg-cluster's standard output (the URI); its complaints go to the test's output.
    std::string script(const std::string& command, const std::string& argument = "") const {
        m_used = true;
        const std::string line = "bash " ZANDREL_SOURCE_DIR "/scripts/pg-cluster " + command + " " + m_dir +
                                 (argument.empty() ? "" : " " + argument);
        std::string out;
        if (FILE* pipe = popen(line.c_str(), "r")) {
            char buffer[512];
            while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
            pclose(pipe);
        }
        while (!out.empty() && out.back() == '\n') out.pop_back();
        return out;
    }

    std::string m_dir;
    std::string m_uri;
    mutable bool m_used = false;
};

}  // namespace hosttest

// Skips the rest of a case that makes clusters of its own where PostgreSQL's server programs
// are not installed; fails it under ctest, which requires PostgreSQL.
#define ZANDREL_REQUIRE_POSTGRES_SERVER()                                                \
    do {                                                                                 \
        const std::string whyNot = ::hosttest::PostgresCluster::missingServerPrograms(); \
        if (!whyNot.empty()) {                                                           \
            if (::hosttest::PostgresTestDatabase::required()) FAIL() << whyNot;          \
            GTEST_SKIP() << whyNot;                                                      \
        }                                                                                \
    } while (0)
