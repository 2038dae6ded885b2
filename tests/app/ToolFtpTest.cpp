// zandrel-tool ftp-put run as a person would run it, against a real FTP server on 127.0.0.1:
// what lands on the server, exit statuses, and messages that speak of the command line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FtpServer.h"
#include "tests/support/HostLauncher.h"

namespace {

using testsupport::FtpServer;
using testsupport::ProcessResult;

class ToolFtpTest : public testsupport::FtpServerTest {
protected:
    void SetUp() override {
        FtpServerTest::SetUp();
        files.write("password", std::string(FtpServer::kPassword) + "\n");
        files.write("wrong-password", "not-the-password\n");
    }

    ProcessResult ftpPut(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"ftp-put"};
        argv.insert(argv.end(), args.begin(), args.end());
        return testsupport::HostLauncher::tool().run(argv);
    }
    // The usual arguments with the given URL, password file and source.
    ProcessResult ftpPut(const std::string& url, const std::string& passwordFile, const std::string& source,
                         std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--url",           url,          "--user", FtpServer::kUser,
                                      "--password-file", passwordFile, source};
        args.insert(args.end(), more.begin(), more.end());
        return ftpPut(args);
    }
    std::string path(const std::string& name) { return (files / name).string(); }
    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    testsupport::TempDir files;
};

TEST_F(ToolFtpTest, UploadsTheFileByteForByte) {
    const std::string data = testsupport::seededBytes(3 * 32768 + 17, 11);
    files.write("payload.bin", data);

    ProcessResult run = ftpPut(server.url(), path("password"), path("payload.bin"), {"stored.bin"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "Uploaded " + path("payload.bin") + " to " + server.url() + "stored.bin"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "(" + std::to_string(data.size()) + " bytes")) << run.out;
    EXPECT_EQ(server.readFile("stored.bin"), data);
}

TEST_F(ToolFtpTest, WithoutTargetTheFileKeepsTheSourceName) {
    files.write("report.txt", "quarterly figures\n");
    ProcessResult run = ftpPut(server.url(), path("password"), path("report.txt"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.readFile("report.txt"), "quarterly figures\n");
}

TEST_F(ToolFtpTest, BadUrlIsRefusedBeforeAnythingIsSent) {
    files.write("payload.bin", "x");
    for (const std::string url : {"http://127.0.0.1/", "ftp://", "/srv/incoming/", "not a url", ""}) {
        ProcessResult run = ftpPut(url, path("password"), path("payload.bin"));
        EXPECT_EQ(run.exitCode, 2) << url << ": " << run.err;
        EXPECT_EQ(run.err,
                  "zandrel-tool ftp-put: --url must be an ftp:// URL with a host, e.g. "
                  "ftp://host:21/incoming/ (got '" +
                      url + "')\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(ToolFtpTest, TargetThatIsNoPlainFileNameIsRefused) {
    files.write("payload.bin", "x");
    for (const std::string target : {"sub/dir.bin", ".", "..", "a\r\nDELE b", "tab\there"}) {
        ProcessResult run = ftpPut(server.url(), path("password"), path("payload.bin"), {target});
        EXPECT_EQ(run.exitCode, 2) << target;
        EXPECT_EQ(run.err,
                  "zandrel-tool ftp-put: TARGET must be a plain file name (no '/', no control characters, "
                  "not '.' or '..')\n")
            << target;
        EXPECT_FALSE(contains(run.err, "Target URL is invalid!"));
    }
}

TEST_F(ToolFtpTest, UnreadablePasswordFileSaysWhy) {
    files.write("payload.bin", "x");

    ProcessResult missing = ftpPut(server.url(), path("no-such-file"), path("payload.bin"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "zandrel-tool ftp-put: cannot read the password file " + path("no-such-file") +
                               ": No such file or directory\n");

    // A directory opens but cannot be read; root can read anything else, so this is the case
    // that holds for every user running the tests.
    std::filesystem::create_directory(files / "secrets");
    ProcessResult directory = ftpPut(server.url(), path("secrets"), path("payload.bin"));
    EXPECT_EQ(directory.exitCode, 2);
    EXPECT_EQ(directory.err, "zandrel-tool ftp-put: cannot read the password file " + path("secrets") +
                                 ": Is a directory\n");
    EXPECT_FALSE(server.readFile("payload.bin"));
}

TEST_F(ToolFtpTest, WrongPasswordPointsAtTheCredentials) {
    files.write("payload.bin", "x");
    ProcessResult run = ftpPut(server.url(), path("wrong-password"), path("payload.bin"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(contains(run.err, "zandrel-tool ftp-put: upload of " + path("payload.bin") + " failed: "))
        << run.err;
    EXPECT_TRUE(contains(run.err, "check --user and the password file")) << run.err;
    EXPECT_FALSE(contains(run.err, FtpServer::kPassword)) << "the password never shows";
    EXPECT_FALSE(contains(run.err, "not-the-password")) << "the password never shows";
    EXPECT_FALSE(server.readFile("payload.bin"));
}

TEST_F(ToolFtpTest, SourceThatIsADirectoryKeepsTheReason) {
    std::filesystem::create_directory(files / "folder");
    ProcessResult run = ftpPut(server.url(), path("password"), path("folder"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "zandrel-tool ftp-put: cannot read " + path("folder") + ": Is a directory\n");
    EXPECT_FALSE(server.readFile("folder"));
}

TEST_F(ToolFtpTest, MissingSourceKeepsTheReason) {
    ProcessResult run = ftpPut(server.url(), path("password"), path("absent.bin"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "zandrel-tool ftp-put: cannot open " + path("absent.bin") + ": No such file or directory\n");
}

TEST_F(ToolFtpTest, HelpListsTheExitStatuses) {
    ProcessResult run = ftpPut({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(contains(run.out, "Exit status:")) << run.out;
    EXPECT_TRUE(contains(run.out, "0  the server confirmed the whole file")) << run.out;
    EXPECT_TRUE(contains(run.out, "1  the upload failed")) << run.out;
    EXPECT_TRUE(contains(run.out, "2  bad input")) << run.out;
    EXPECT_TRUE(contains(run.out, "64 the command line is wrong")) << run.out;

    ProcessResult missingUrl = ftpPut({"--user", FtpServer::kUser, "--password-file", path("password"), "x"});
    EXPECT_EQ(missingUrl.exitCode, 64) << missingUrl.err;
}

// A credential with a control character can never log in (the FTP control connection is
// line-based, and a line break would end the command early): it is bad input, found before
// anything is sent, not an upload failure.
TEST_F(ToolFtpTest, ControlCharactersInCredentialsAreBadInput) {
    files.write("payload.bin", "x");
    struct Case {
        std::string user;
        std::string passwordFileContents;
        std::string message;
    };
    const std::string userMessage =
        "zandrel-tool ftp-put: --user must not contain control characters (such as a line break or a tab)\n";
    const std::string passwordMessage =
        "zandrel-tool ftp-put: the password in " + path("pw") +
        " contains a control character; only its first line is used, without the line end\n";
    const Case cases[] = {
        {"user\r\nDELE payload.bin", "secret\n", userMessage},
        {"tab\tuser", "secret\n", userMessage},
        {"del\x7Fuser", "secret\n", userMessage},
        {FtpServer::kUser, std::string("pass\x01word\n"), passwordMessage},
        {FtpServer::kUser, "pass\tword\n", passwordMessage},
        {FtpServer::kUser, "pass\rword\r\n", passwordMessage},
        {FtpServer::kUser, "pass\x1b[2Jword\n", passwordMessage},
    };
    for (const Case& c : cases) {
        files.write("pw", c.passwordFileContents);
        ProcessResult run = ftpPut(
            {"--url", server.url(), "--user", c.user, "--password-file", path("pw"), path("payload.bin")});
        EXPECT_EQ(run.exitCode, 2) << c.user << " / " << c.passwordFileContents << ": " << run.err;
        EXPECT_EQ(run.err, c.message);
        EXPECT_FALSE(contains(run.err, "Could not setup network stream!"));
        EXPECT_FALSE(server.readFile("payload.bin"));
    }
    // The line end of the password's line is not part of the password, in either form.
    for (const std::string ending : {"\n", "\r\n", ""}) {
        files.write("pw", std::string(FtpServer::kPassword) + ending + "second line\x01\n");
        if (ending.empty()) files.write("pw", FtpServer::kPassword);
        ProcessResult run = ftpPut(server.url(), path("pw"), path("payload.bin"));
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
}

TEST_F(ToolFtpTest, OverlongPasswordLineIsRefused) {
    files.write("payload.bin", "x");
    files.write("pw", std::string(100000, 'p'));  // a file picked by mistake, without a line break
    ProcessResult run = ftpPut(server.url(), path("pw"), path("payload.bin"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "zandrel-tool ftp-put: cannot read the password file " + path("pw") +
                           ": its first line is longer than 4096 bytes\n");
    files.write("pw", std::string(4096, 'p') + "\n");  // the longest accepted: the server refuses it
    run = ftpPut(server.url(), path("pw"), path("payload.bin"));
    EXPECT_EQ(run.exitCode, 1) << run.err;
}

// Opening a named pipe for reading waits for a writer, and a device may never end: such files
// are refused at once. Should the command block anyway, a watchdog opens the pipe's other end
// after a while, so the test fails on the message instead of hanging.
TEST_F(ToolFtpTest, PipesAndDevicesAreRefusedAtOnce) {
    files.write("payload.bin", "x");
    const std::string fifo = path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string passwordFile;
        std::string source;
        std::string message;
    };
    const Case cases[] = {
        {path("password"), fifo,
         "zandrel-tool ftp-put: cannot read " + fifo + ": a named pipe, not a regular file\n"},
        {fifo, path("payload.bin"),
         "zandrel-tool ftp-put: cannot read the password file " + fifo +
             ": a named pipe, not a regular file\n"},
        {"/dev/zero", path("payload.bin"),
         "zandrel-tool ftp-put: cannot read the password file /dev/zero: a character device, not a regular "
         "file\n"},
        {path("password"), "/dev/zero",
         "zandrel-tool ftp-put: cannot read /dev/zero: a character device, not a regular file\n"},
        {path("password"), "/dev/null",
         "zandrel-tool ftp-put: cannot read /dev/null: a character device, not a regular file\n"},
    };
    for (const Case& c : cases) {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::thread watchdog([&] {
            std::unique_lock lock(mutex);
            if (finished.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) return;
            const int end = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);  // never blocks
            if (end >= 0) {
                ::write(end, "unblocked\n", 10);
                ::close(end);
            }
        });
        ProcessResult run = ftpPut(server.url(), c.passwordFile, c.source);
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        finished.notify_one();
        watchdog.join();
        EXPECT_EQ(run.exitCode, 2) << c.passwordFile << " / " << c.source;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(ToolFtpTest, MessagesShowControlCharactersEscaped) {
    files.write("payload.bin", "x");
    ProcessResult run = ftpPut("ftp://127.0.0.1/a\r\nDELE b\x1b[2J/", path("password"), path("payload.bin"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(
        run.err,
        "zandrel-tool ftp-put: --url must be an ftp:// URL with a host, e.g. ftp://host:21/incoming/ (got "
        "'ftp://127.0.0.1/a\\r\\nDELE b\\x1b[2J/')\n");
}

}  // namespace

namespace {

using testsupport::FtpServer;
using testsupport::ProcessResult;

class ToolFtpStandardInputTest : public testsupport::FtpServerTest {
protected:
    void SetUp() override {
        FtpServerTest::SetUp();
        files.write("password", std::string(FtpServer::kPassword) + "\n");
    }
    std::vector<std::string> argv(std::vector<std::string> more) {
        std::vector<std::string> args{"ftp-put",
                                      "--url",
                                      server.url(),
                                      "--user",
                                      FtpServer::kUser,
                                      "--password-file",
                                      (files / "password").string()};
        args.insert(args.end(), more.begin(), more.end());
        return tool.command(args);
    }
    testsupport::TempDir files;
    testsupport::HostLauncher tool = testsupport::HostLauncher::tool();
};

TEST_F(ToolFtpStandardInputTest, DashUploadsAFileRedirectedToStandardInput) {
    const std::string data = testsupport::seededBytes(70000, 3);
    ProcessResult run = testsupport::runProgram(argv({"-", "from-stdin.bin"}), data);  // stdin is a file
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(server.readFile("from-stdin.bin"), data);
    EXPECT_NE(run.out.find("Uploaded standard input to "), std::string::npos) << run.out;
}

TEST_F(ToolFtpStandardInputTest, DashIsRefusedWithoutATargetOrWhenNoFileIsRedirected) {
    ProcessResult noTarget = testsupport::runProgram(argv({"-"}), "data");
    EXPECT_EQ(noTarget.exitCode, 2);
    EXPECT_EQ(
        noTarget.err,
        "zandrel-tool ftp-put: standard input has no file name: give TARGET, the name of the file on the "
        "server\n");

    const pid_t pid =
        testsupport::startProgram(argv({"-", "x.bin"}), "/dev/null", files / "out", files / "err");
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(files.read("err"),
              "zandrel-tool ftp-put: cannot read standard input: a character device, not a regular file; "
              "redirect a file to it (< FILE) or give the file's name\n");
    EXPECT_FALSE(server.readFile("x.bin"));
}

}  // namespace
