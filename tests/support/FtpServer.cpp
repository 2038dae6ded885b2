#include "tests/support/FtpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace {

// The system Python, not whatever python3 is first on PATH: pyftpdlib is a Debian package.
constexpr const char* kPython = "/usr/bin/python3";
constexpr auto kStartLimit = std::chrono::seconds(15);

constexpr const char* kScript = R"PY(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
FTPHandler.authorizer = authorizer
FTPHandler.banner = "zandrel test server ready"
FTPHandler.auth_failed_timeout = 0.05
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print("PORT", server.address[1], flush=True)
server.serve_forever()
)PY";

using Clock = std::chrono::steady_clock;

int millisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads one line from `fd` before `deadline`; nullopt on end, error or time-out.
// A child that has exited is reaped and `child` set to -1, so it is never signalled again.
std::optional<std::string> readLine(int fd, Clock::time_point deadline, pid_t& child) {
    std::string line;
    for (;;) {
        if (child > 0 && waitpid(child, nullptr, WNOHANG) == child) {
            child = -1;
            return std::nullopt;
        }
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, std::min(millisLeft(deadline), 100));
        if (rc == 0) {
            if (millisLeft(deadline) == 0) return std::nullopt;
            continue;
        }
        if (rc < 0) return std::nullopt;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
}

}  // namespace

bool runMainLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      platform::RunLoopMode mode) {
    auto deadline = Clock::now() + limit;
    platform::RunLoop::main().runUntil(mode, [&] { return done() || Clock::now() >= deadline; });
    return done();
}

std::string seededBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        uint32_t word = rng();
        std::memcpy(bytes.data() + i, &word, 4);
    }
    for (; i < size; ++i) bytes[i] = static_cast<char>(rng());
    return bytes;
}

FtpServer::FtpServer() {
    std::filesystem::create_directories(root());
    const auto script = m_dir.path() / "server.py";
    m_dir.write("server.py", kScript);
    const auto log = m_dir.path() / "server.log";

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("FtpServer: pipe failed");
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);

    std::vector<std::string> args = {kPython, "-I", script.string(), root().string(), kUser, kPassword};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // The server must not outlive a test process that dies.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        if (logFd >= 0) dup2(logFd, STDERR_FILENO);
        execv(kPython, argv.data());
        _exit(127);
    }
    ::close(out[1]);
    if (logFd >= 0) ::close(logFd);
    if (m_pid < 0) {
        ::close(out[0]);
        throw std::runtime_error("FtpServer: fork failed");
    }

    auto deadline = Clock::now() + kStartLimit;
    auto line = readLine(out[0], deadline, m_pid);
    ::close(out[0]);
    if (!line || line->rfind("PORT ", 0) != 0) {
        std::string tail = logTail();
        kill();
        throw std::runtime_error("FtpServer: the server did not start (" + std::string(kPython) +
                                 " with pyftpdlib):\n" + tail);
    }
    m_port = static_cast<uint16_t>(std::stoi(line->substr(5)));

    // Ready means greeting: connect and wait for the "220" line.
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::optional<std::string> greeting;
    if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        greeting = readLine(s, deadline, m_pid);
    if (s >= 0) ::close(s);
    if (!greeting || greeting->rfind("220", 0) != 0) {
        std::string tail = logTail();
        kill();
        throw std::runtime_error("FtpServer: no \"220\" greeting from the server:\n" + tail);
    }
}

FtpServer::~FtpServer() {
    kill();
}

std::string FtpServer::url() const {
    return "ftp://127.0.0.1:" + std::to_string(m_port) + "/";
}

std::optional<std::string> FtpServer::readFile(const std::string& name) const {
    std::ifstream in(root() / name, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void FtpServer::kill() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    m_paused = false;
}

void FtpServer::pause() {
    if (m_pid > 0 && !m_paused && ::kill(m_pid, SIGSTOP) == 0) m_paused = true;
}

void FtpServer::resume() {
    if (m_pid > 0 && m_paused && ::kill(m_pid, SIGCONT) == 0) m_paused = false;
}

std::string FtpServer::logTail() const {
    std::ifstream in(m_dir.path() / "server.log");
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    return text.size() > 2000 ? text.substr(text.size() - 2000) : text;
}

void FtpServerTest::SetUp() {
    platform::RunLoop::main().resetForTesting();
    platform::RunLoop::main().setClock(std::make_shared<platform::RealClock>());
}

void FtpServerTest::TearDown() {
    platform::RunLoop::main().resetForTesting();
}

}  // namespace testsupport
