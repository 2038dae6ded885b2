// FTP upload throughput: a 256 MiB file through KOPAFTPService, side by side with the curl
// command-line tool (`curl -T`) to the same local pyftpdlib server, in alternating rounds so both
// see the same machine load. Each time runs from the start of the upload until the server has
// confirmed the file (connect and login included for both). Target: KOPAFTPService at 90% or
// more of curl -T.
//
//   bench_ftp_upload [rounds=5] [mebibytes=256]

#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "plugin/framework/Classes/VEXAFTPService.h"
#include "tests/support/FtpServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double uploadWithService(const testsupport::FtpServer& server, const std::string& source) {
    auto service = std::make_shared<KOPAFTPService>(testsupport::FtpServer::kUser,
                                                    testsupport::FtpServer::kPassword, server.url());
    bool finished = false;
    std::optional<platform::Error> outcome;
    auto start = Clock::now();
    service->put(source, std::string("service.bin"), [&](const std::optional<platform::Error>& error) {
        outcome = error;
        finished = true;
    });
    platform::RunLoop::main().runUntil(platform::RunLoopMode::Default, [&] { return finished; });
    double seconds = secondsSince(start);
    if (outcome) throw std::runtime_error("KOPAFTPService upload failed: " + outcome->localizedDescription());
    return seconds;
}

double uploadWithCurl(const testsupport::FtpServer& server, const std::string& source) {
    std::string credentials =
        std::string(testsupport::FtpServer::kUser) + ":" + testsupport::FtpServer::kPassword;
    std::string url = server.url() + "curl.bin";
    std::vector<std::string> args = {"curl",      "--silent", "--show-error", "--user",
                                     credentials, "-T",       source,         url};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot run curl");
    int status = 0;
    waitpid(pid, &status, 0);
    double seconds = secondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("curl -T failed");
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    uint64_t mebibytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 256;
    const uint64_t size = mebibytes * 1024 * 1024;

    testsupport::TempDir dir;
    const std::string source = (dir / "source.bin").string();
    {
        std::ofstream out(source, std::ios::binary);
        std::string block = testsupport::seededBytes(1 << 20, 2024);
        for (uint64_t i = 0; i < mebibytes; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    testsupport::FtpServer server;

    std::vector<double> serviceSeconds, curlSeconds;
    for (int round = 0; round < rounds; ++round) {
        for (bool service : {true, false}) {
            const char* name = service ? "service.bin" : "curl.bin";
            double seconds = service ? uploadWithService(server, source) : uploadWithCurl(server, source);
            auto stored = std::filesystem::file_size(server.root() / name);
            if (stored != size)
                throw std::runtime_error(fmt::format("{} holds {} bytes, not {}", name, stored, size));
            std::filesystem::remove(server.root() / name);
            (service ? serviceSeconds : curlSeconds).push_back(seconds);
            std::printf("round %d  %-16s %7.3f s  %8.1f MB/s\n", round + 1,
                        service ? "KOPAFTPService" : "curl -T", seconds, size / seconds / 1e6);
        }
    }
    double serviceRate = size / median(serviceSeconds) / 1e6;
    double curlRate = size / median(curlSeconds) / 1e6;
    double ratio = serviceRate / curlRate;
    std::printf("\n%llu MiB, median of %d rounds\n", static_cast<unsigned long long>(mebibytes), rounds);
    std::printf(
        "  KOPAFTPService  %8.1f MB/s\n  curl -T         %8.1f MB/s\n  ratio           %8.1f %%  (target >= "
        "90 %%: %s)\n",
        serviceRate, curlRate, ratio * 100, ratio >= 0.9 ? "met" : "NOT met");
    return 0;
}
