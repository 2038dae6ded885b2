#pragma once

// FtpServer: a real FTP server on 127.0.0.1 for one test (Debian's pyftpdlib run by the system
// Python), with a temporary root and one user. The constructor returns once the server has
// greeted a client with "220", or throws with the server's own output when it could not start.
// The destructor kills it. The port is chosen by the kernel, so tests never collide.
//
// Failure injection: kill() ends the server at once (as a crash would, mid-transfer if one
// runs); pause()/resume() freeze it with SIGSTOP/SIGCONT, so it accepts TCP connections but
// neither answers nor reads.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/runtime/RunLoop.h"

namespace platform {
// Test failures show errors as text rather than bytes.
inline void PrintTo(const Error& error, std::ostream* os) {
    *os << error.description();
}
}  // namespace platform

#include "tests/support/TempDir.h"

namespace testsupport {

// Runs the main run loop in `mode` until `done` answers true or `limit` of real time has passed,
// so a broken test fails instead of hanging. Returns done().
bool runMainLoopUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30),
                      platform::RunLoopMode mode = platform::RunLoopMode::Default);

// `size` pseudo-random bytes, the same for the same seed.
std::string seededBytes(size_t size, uint32_t seed);

class FtpServer {
public:
    static constexpr const char* kUser = "zandrel";
    static constexpr const char* kPassword = "pa55-w0rd";

    FtpServer();
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    uint16_t port() const { return m_port; }
    // "ftp://127.0.0.1:<port>/" -- the root directory, without credentials.
    std::string url() const;
    // The folder the server serves; uploads land here.
    std::filesystem::path root() const { return m_dir.path() / "root"; }
    std::optional<std::string> readFile(const std::string& name) const;

    void kill();
    void pause();
    void resume();
    bool running() const { return m_pid > 0; }

private:
    std::string logTail() const;

    TempDir m_dir;
    pid_t m_pid = -1;
    uint16_t m_port = 0;
    bool m_paused = false;
};

// A test with its own server and a clean main run loop on the real clock.
class FtpServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    FtpServer server;
};

}  // namespace testsupport
