// The programs on a real terminal of a given width (a pseudo-terminal): the template table and
// the ftp-put progress bar fit it, while piped output stays whole and bar-free.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/FtpServer.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

// A pseudo-terminal `columns` wide whose output arrives unchanged (no "\n" to "\r\n").
class PseudoTerminal {
public:
    explicit PseudoTerminal(unsigned short columns) {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
        m_path = ::ptsname(m_master);
        struct winsize size {};
        size.ws_col = columns;
        size.ws_row = 24;
        ::ioctl(m_master, TIOCSWINSZ, &size);
        // Held open here too, so reading the master never fails while the program starts or ends.
        m_slave = ::open(m_path.c_str(), O_RDWR | O_NOCTTY);
        struct termios mode {};
        ::tcgetattr(m_slave, &mode);
        mode.c_oflag &= ~OPOST;
        ::tcsetattr(m_slave, TCSANOW, &mode);
        ::fcntl(m_master, F_SETFL, O_NONBLOCK);
    }
    ~PseudoTerminal() {
        if (m_slave >= 0) ::close(m_slave);
        if (m_master >= 0) ::close(m_master);
    }
    bool ok() const { return m_slave >= 0; }
    const std::string& path() const { return m_path; }

    // Waits for the program, reading what it writes meanwhile; its exit status.
    int collect(pid_t pid, std::string& output) {
        int status = 0;
        for (bool running = true; running;) {
            running = ::waitpid(pid, &status, WNOHANG) == 0;
            struct pollfd ready {
                m_master, POLLIN, 0
            };
            ::poll(&ready, 1, running ? 50 : 0);
            char buffer[4096];
            for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
                output.append(buffer, size_t(n));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (size_t end; (end = text.find(separator, at)) != std::string::npos; at = end + 1)
        parts.push_back(text.substr(at, end - at));
    if (at < text.size()) parts.push_back(text.substr(at));
    return parts;
}

size_t columnsOf(const std::string& text) {
    size_t count = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

TEST(TerminalWidth, TemplateTableFitsTheTerminalAndCutsLongNamesWithAnEllipsis) {
    testsupport::TempDir dir;
    const std::string db = (dir / "demo.sqlite").string();
    const std::string host = testsupport::builtProgram("zandrel-host");
    ASSERT_EQ(testsupport::runProgram({host, "--db", db, "--init-demo"}).exitCode, 0);
    const std::string longName = "A form template whose name goes on well past forty columns";
    ASSERT_EQ(testsupport::runProgram(
                  {host, "--db", db, "duplicate", "--template", "Quick Notes", "--name", longName})
                  .exitCode,
              0);
    dir.write("empty", "");
    for (unsigned short width : {40, 60, 132}) {
        PseudoTerminal terminal(width);
        ASSERT_TRUE(terminal.ok());
        std::string output;
        pid_t pid = testsupport::startProgram({host, "--db", db, "templates"}, dir / "empty", terminal.path(),
                                              dir / "stderr");
        ASSERT_EQ(terminal.collect(pid, output), 0) << dir.read("stderr");
        const auto lines = split(output, '\n');
        ASSERT_GT(lines.size(), 20u) << output;
        for (const auto& line : lines) EXPECT_LE(columnsOf(line), width) << width << ": " << line;
        const bool fits = output.find(longName) != std::string::npos;
        EXPECT_EQ(fits, longName.size() + 2 + 26 <= width) << width << "\n" << output;
        if (!fits) {
            EXPECT_NE(output.find("\nA form t"), std::string::npos) << "its start stays: " << output;
        }
        EXPECT_EQ(!fits, output.find("…") != std::string::npos) << output;
    }
}

class ProgressOnATerminal : public testsupport::FtpServerTest {};

TEST_F(ProgressOnATerminal, TheBarRedrawsInPlaceWithinTheWidthAndEndsComplete) {
    testsupport::TempDir files;
    files.write("password", std::string(testsupport::FtpServer::kPassword) + "\n");
    files.write("payload.bin", testsupport::seededBytes(2 * 1024 * 1024, 5));
    files.write("empty", "");
    const std::vector<std::string> argv{testsupport::builtProgram("zandrel-tool"),
                                        "ftp-put",
                                        "--url",
                                        server.url(),
                                        "--user",
                                        testsupport::FtpServer::kUser,
                                        "--password-file",
                                        (files / "password").string(),
                                        (files / "payload.bin").string()};
    for (unsigned short width : {30, 50, 120}) {
        PseudoTerminal terminal(width);
        ASSERT_TRUE(terminal.ok());
        std::string output;
        pid_t pid = testsupport::startProgram(argv, files / "empty", files / "stdout", terminal.path());
        ASSERT_EQ(terminal.collect(pid, output), 0) << output;
        ASSERT_TRUE(output.starts_with("\r")) << output;
        ASSERT_TRUE(output.ends_with("\n")) << output;
        const auto frames = split(output.substr(1, output.size() - 2), '\r');
        for (const auto& frame : frames) {
            ASSERT_TRUE(frame.ends_with("\x1b[K")) << "the rest of the line is cleared: " << frame;
            const std::string shown = frame.substr(0, frame.size() - 3);
            EXPECT_LT(shown.size(), width) << shown;
            EXPECT_EQ(shown.find('\n'), std::string::npos);
        }
        EXPECT_NE(frames.back().find("100%"), std::string::npos) << frames.back();
        EXPECT_EQ(frames.back()[1], '#') << frames.back();
    }
    // Not on a terminal: no bar at all, as before.
    testsupport::ProcessResult piped = testsupport::runProgram(argv);
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");
}

}  // namespace
