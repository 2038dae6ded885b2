// ftp-put: uploads one file through KOPAFTPService, the way the framework does it, with a
// progress bar when standard error is a terminal. The password comes from a file so it never
// shows in the process list or the shell history.

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/host/TerminalText.h"
#include "app/tool/ProgressBar.h"
#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "platform/net/FTPWriteStream.h"
#include "platform/net/FileReadStream.h"
#include "platform/runtime/RunLoop.h"
#include "plugin/framework/Classes/VEXAFTPService.h"

namespace {

struct FtpPutOptions {
    std::string url;
    std::string user;
    std::string passwordFile;
    std::string source;
    std::optional<std::string> target;
};

// What a regular file opened for reading gives, or the reason it cannot be used (in the
// system's words where it has them).
struct OpenedFile {
    int fd = -1;
    std::string problem;
    ~OpenedFile() {
        if (fd >= 0) ::close(fd);
    }
};

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Opens without blocking: opening a named pipe for reading waits for a writer, and reading a pipe
// or a device may never end, so only regular files are accepted, and that is known at once.
void openRegularFile(const std::string& path, OpenedFile& file) {
    file.fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                          : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file.fd < 0) {
        file.problem = std::strerror(errno);
        return;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) {
        file.problem = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        file.problem = std::strerror(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        file.problem = fmt::format("{}, not a regular file", kindOf(info.st_mode));
    }
}

// The longest password line read; a longer first line is no password but the wrong file.
constexpr size_t kMaxPasswordBytes = 4096;

struct PasswordRead {
    std::optional<std::string> password;
    std::string problem;
};

// The first line of the password file, without its line end.
PasswordRead readPassword(const std::string& path) {
    OpenedFile file;
    openRegularFile(path, file);
    if (!file.problem.empty()) return {std::nullopt, file.problem};
    std::string line;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {std::nullopt, std::strerror(errno)};
        if (n == 0) break;
        const std::string_view chunk(buffer, static_cast<size_t>(n));
        const size_t end = chunk.find('\n');
        line.append(chunk.substr(0, end));
        if (line.size() > kMaxPasswordBytes)
            return {std::nullopt, fmt::format("its first line is longer than {} bytes", kMaxPasswordBytes)};
        if (end != std::string_view::npos) break;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return {line, {}};
}

// The FTP control connection is line-based: a control character in a credential would end the
// command early, so such a credential can never log in.
bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// Bytes handed to the network so far: read from the file, less what still waits in the buffer.
uint64_t bytesHandedOver(const KOPAFTPService& service) {
    auto file = std::dynamic_pointer_cast<platform::FileReadStream>(service.fileStream());
    if (!file) return 0;
    return file->bytesRead() - (service.bufferLimit() - service.bufferOffset());
}

// Redraws the bar in place: back to the line's start, the bar at the terminal's current width
// (read each time, so a resize is followed), and the rest of the line cleared.
void drawProgress(ProgressBar& bar, uint64_t done, std::optional<uint64_t> total, double seconds) {
    bar.addSample(seconds, done);
    const std::string line =
        "\r" +
        ProgressBar::line(done, total, bar.bytesPerSecond(), TerminalText::terminalWidth(STDERR_FILENO)) +
        "\x1b[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

// Exit statuses, as --help states them.
constexpr int kUploadFailed = 1;
constexpr int kBadInput = 2;

int refuse(const std::string& message) {
    return ToolIO::fail("ftp-put", "", message, kBadInput);
}

// The service's messages are written for programmers ("Target URL is invalid!"); a person gets
// the same checks made here first, in terms of the command line, with the reason kept.
int runFtpPut(const FtpPutOptions& options) {
    auto base = platform::FTPWriteStream::create(options.url);
    if (!base)
        return refuse(fmt::format(
            "--url must be an ftp:// URL with a host, e.g. ftp://host:21/incoming/ (got '{}')", options.url));
    if (options.target && !platform::urlByAppendingPathComponent(options.url, *options.target))
        return refuse("TARGET must be a plain file name (no '/', no control characters, not '.' or '..')");

    if (hasControlCharacter(options.user))
        return refuse("--user must not contain control characters (such as a line break or a tab)");
    if (options.source.empty()) return refuse("SOURCE must not be empty");
    const bool fromStandardInput = options.source == "-";
    if (fromStandardInput && !options.target)
        return refuse("standard input has no file name: give TARGET, the name of the file on the server");
    const std::string sourceName = ToolIO::sourceName(options.source);
    OpenedFile source;
    openRegularFile(options.source, source);
    if (source.fd < 0) return refuse(fmt::format("cannot open {}: {}", sourceName, source.problem));
    if (!source.problem.empty())
        return refuse(
            fmt::format("cannot read {}: {}{}", sourceName, source.problem,
                        fromStandardInput ? "; redirect a file to it (< FILE) or give the file's name" : ""));
    // The service opens the file by path; handing it the file checked here (through the
    // descriptor's name) leaves no moment in which the path could be swapped for a pipe.
    const std::string checkedSource = fmt::format("/proc/self/fd/{}", source.fd);

    std::string targetName =
        options.target.value_or(std::filesystem::path(options.source).filename().string());
    auto targetURL = platform::urlByAppendingPathComponent(options.url, targetName);
    if (!targetURL)
        return refuse(
            fmt::format("cannot name the file on the server after '{}'; give TARGET", options.source));
    auto shown = platform::FTPWriteStream::create(*targetURL);
    std::string destination = shown ? shown->displayURL() : base->displayURL();

    auto password = readPassword(options.passwordFile);
    if (!password.password)
        return refuse(
            fmt::format("cannot read the password file {}: {}", options.passwordFile, password.problem));
    if (hasControlCharacter(*password.password))
        return refuse(
            fmt::format("the password in {} contains a control character; only its first line is "
                        "used, without the line end",
                        options.passwordFile));

    auto service = std::make_shared<KOPAFTPService>(options.user, *password.password, options.url);
    bool finished = false;
    std::optional<platform::Error> outcome;
    auto& loop = platform::RunLoop::main();
    auto started = std::chrono::steady_clock::now();
    service->put(checkedSource, targetName, [&](const std::optional<platform::Error>& error) {
        outcome = error;
        finished = true;
    });

    std::error_code ec;
    std::optional<uint64_t> total;
    if (auto size = std::filesystem::file_size(checkedSource, ec); !ec) total = size;
    const bool showProgress = isatty(STDERR_FILENO) && !finished;
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    ProgressBar bar;
    platform::RunLoop::TimerId timer = 0;
    if (showProgress)
        timer = loop.scheduleTimer(std::chrono::milliseconds(200), true,
                                   [&] { drawProgress(bar, bytesHandedOver(*service), total, elapsed()); });
    loop.runUntil(platform::RunLoopMode::Default, [&] { return finished; });
    if (timer) loop.invalidateTimer(timer);

    if (outcome) {
        if (showProgress) std::fputs("\n", stderr);
        std::string hint;
        if (outcome->domain() == platform::FTPWriteStream::kErrorDomain &&
            outcome->code() == CURLE_LOGIN_DENIED)
            hint = " (the server refused the login: check --user and the password file)";
        return ToolIO::fail(
            "ftp-put", "",
            fmt::format("upload of {} failed: {}{}", sourceName, outcome->localizedDescription(), hint),
            kUploadFailed);
    }
    if (showProgress) {
        drawProgress(bar, total.value_or(0), total, elapsed());
        std::fputs("\n", stderr);
    }
    std::cout << "Uploaded " << sourceName << " to " << destination << " (" << total.value_or(0)
              << " bytes in " << fmt::format("{:.2f}", elapsed()) << " s)\n";
    return 0;
}

ToolCommand::Registrar registrar{
    "ftp-put", "Upload a file to an FTP server", [](CLI::App& command) -> ToolCommand::Run {
        auto options = std::make_shared<FtpPutOptions>();
        command
            .add_option("--url", options->url,
                        "FTP URL of the target directory, such as ftp://host:21/incoming/")
            ->required();
        command.add_option("--user", options->user, "FTP user name")->required();
        command
            .add_option("--password-file", options->passwordFile,
                        "file whose first line is the password (keeps it off the command line)")
            ->required();
        command
            .add_option("SOURCE", options->source,
                        "local file to upload, or - for standard input redirected from a file")
            ->required();
        command.add_option("TARGET", options->target,
                           "name of the file on the server (default: the source's name)");
        command.footer(
            std::string(
                "When standard error is a terminal, a progress bar fits its width, is redrawn in place "
                "and\ngives the rate of the last 5 seconds; otherwise nothing is drawn.\n\n") +
            ToolCommand::exitStatuses(
                {{0, "the server confirmed the whole file"},
                 {1,
                  "the upload failed: connection, login, refused file, read or write error (the reason is "
                  "printed)"},
                 {2,
                  "bad input, nothing sent: --url not an ftp:// URL with a host, TARGET not a plain file "
                  "name, SOURCE or the password file not a readable regular file (pipes and devices are "
                  "refused, standard input too unless a file is redirected to it; then TARGET is needed), "
                  "a control character in --user or the password"}}));
        return [options] { return runFtpPut(*options); };
    }};

}  // namespace
