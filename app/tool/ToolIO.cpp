#include "app/tool/ToolIO.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "app/tool/ToolCommand.h"
#include "platform/foundation/DisplayText.h"

std::string ToolIO::sourceName(std::string_view source) {
    return source == "-" ? std::string("standard input") : std::string(source);
}

platform::Result<std::string> ToolIO::readInput(const std::string& source, uint64_t maxBytes) {
    const bool standardInput = source == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    auto failure = [&](int error) {
        return platform::Status::error(
            fmt::format("cannot read {}: {}", sourceName(source), std::strerror(error)));
    };
    if (fd < 0) return failure(errno);
    std::string contents;
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (contents.size() + static_cast<size_t>(n) > maxBytes) {
            if (!standardInput) ::close(fd);
            return platform::Status::error(
                fmt::format("{} is larger than {} bytes; give --max-bytes with a larger limit to read it",
                            sourceName(source), maxBytes));
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    if (!standardInput) ::close(fd);
    if (error) return failure(error);
    return contents;
}

std::optional<std::string> ToolIO::sourceOrStandardInput(std::string_view command,
                                                         const std::string& source) {
    if (!source.empty()) return source;
    if (ToolCommand::standardInputIsRedirected()) return std::string("-");
    fail(
        command, "",
        fmt::format("a file to read is required (- or a pipe for standard input); see zandrel-tool {} --help",
                    command),
        64);
    return std::nullopt;
}

std::string ToolIO::checkByteCount(const std::string& text) {
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value == 0)
        return fmt::format("'{}' is no byte count: give a whole number from 1 to {}", text,
                           std::numeric_limits<uint64_t>::max());
    return {};
}

bool ToolIO::writeOutput(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) return false;
    return std::fflush(stdout) == 0;
}

int ToolIO::fail(std::string_view command, std::string_view source, std::string_view message, int status) {
    std::string line = fmt::format("zandrel-tool {}: ", command);
    if (!source.empty()) line += sourceName(source) + ": ";
    line += message;
    line = platform::DisplayText::printable(line) + '\n';
    std::fputs(line.c_str(), stderr);
    return status;
}

bool ToolCommand::standardInputIsRedirected() {
    return ::isatty(STDIN_FILENO) == 0;
}
