// ftp-put: uploads one file through KOPAFTPService, the way the framework does it, with a
// progress bar when standard error is a terminal. The password comes from a file so it never
// shows in the process list or the shell history.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/tool/ToolCommand.h"
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

std::optional<std::string> readPassword(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    if (in.bad()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string mebibytes(uint64_t bytes) { return fmt::format("{:.1f} MiB", bytes / (1024.0 * 1024.0)); }

// Bytes handed to the network so far: read from the file, less what still waits in the buffer.
uint64_t bytesHandedOver(const KOPAFTPService& service) {
    auto file = std::dynamic_pointer_cast<platform::FileReadStream>(service.fileStream());
    if (!file) return 0;
    return file->bytesRead() - (service.bufferLimit() - service.bufferOffset());
}

void drawProgress(uint64_t done, std::optional<uint64_t> total, double seconds) {
    constexpr int kWidth = 30;
    double fraction = total && *total > 0 ? std::min(1.0, double(done) / double(*total)) : 0.0;
    int filled = static_cast<int>(fraction * kWidth);
    std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
    double rate = seconds > 0 ? done / seconds : 0;
    std::string line = fmt::format("\r[{}] {:3.0f}%  {} of {}  {}/s ", bar, fraction * 100, mebibytes(done),
                                   total ? mebibytes(*total) : std::string("?"), mebibytes(static_cast<uint64_t>(rate)));
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

int runFtpPut(const FtpPutOptions& options) {
    auto password = readPassword(options.passwordFile);
    if (!password) {
        std::cerr << "ftp-put: cannot read the password file " << options.passwordFile << "\n";
        return 2;
    }
    std::string targetName = options.target.value_or(std::filesystem::path(options.source).filename().string());
    auto targetURL = platform::urlByAppendingPathComponent(options.url, targetName);
    auto shown = targetURL ? platform::FTPWriteStream::create(*targetURL) : nullptr;
    std::string destination = shown ? shown->displayURL() : options.url;

    auto service = std::make_shared<KOPAFTPService>(options.user, *password, options.url);
    bool finished = false;
    std::optional<platform::Error> outcome;
    auto& loop = platform::RunLoop::main();
    auto started = std::chrono::steady_clock::now();
    service->put(options.source, options.target, [&](const std::optional<platform::Error>& error) {
        outcome = error;
        finished = true;
    });

    std::error_code ec;
    std::optional<uint64_t> total;
    if (auto size = std::filesystem::file_size(options.source, ec); !ec) total = size;
    const bool showProgress = isatty(STDERR_FILENO) && !finished;
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    platform::RunLoop::TimerId timer = 0;
    if (showProgress)
        timer = loop.scheduleTimer(std::chrono::milliseconds(200), true,
                                   [&] { drawProgress(bytesHandedOver(*service), total, elapsed()); });
    loop.runUntil(platform::RunLoopMode::Default, [&] { return finished; });
    if (timer) loop.invalidateTimer(timer);

    if (outcome) {
        if (showProgress) std::fputs("\n", stderr);
        std::cerr << "ftp-put: upload of " << options.source << " failed: " << outcome->localizedDescription() << "\n";
        return 1;
    }
    if (showProgress) {
        drawProgress(total.value_or(0), total, elapsed());
        std::fputs("\n", stderr);
    }
    std::cout << "Uploaded " << options.source << " to " << destination << " (" << total.value_or(0) << " bytes in "
              << fmt::format("{:.2f}", elapsed()) << " s)\n";
    return 0;
}

ToolCommand::Registrar registrar{
    "ftp-put", "Upload a file to an FTP server",
    [](CLI::App& command) -> ToolCommand::Run {
        auto options = std::make_shared<FtpPutOptions>();
        command.add_option("--url", options->url, "FTP URL of the target directory, such as ftp://host:21/incoming/")
            ->required();
        command.add_option("--user", options->user, "FTP user name")->required();
        command
            .add_option("--password-file", options->passwordFile,
                        "file whose first line is the password (keeps it off the command line)")
            ->required();
        command.add_option("SOURCE", options->source, "local file to upload")->required();
        command.add_option("TARGET", options->target, "name of the file on the server (default: the source's name)");
        command.footer(
            "Shows a progress bar when standard error is a terminal. Exit status: 0 when the server confirmed the "
            "whole file, 1 when the upload failed (the reason is printed), 2 when the password file cannot be read.");
        return [options] { return runFtpPut(*options); };
    }};

}  // namespace
