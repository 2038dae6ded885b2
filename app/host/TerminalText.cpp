#include "app/host/TerminalText.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

size_t TerminalText::displayWidth(std::string_view text) {
    size_t width = 0;
    for (char c : text)
        if (!isContinuation(c)) ++width;
    return width;
}

std::string TerminalText::truncated(std::string_view text, size_t width) {
    if (displayWidth(text) <= width) return std::string(text);
    if (width == 0) return {};
    // Keep width - 1 characters and the ellipsis.
    size_t kept = 0, at = 0;
    for (; at < text.size(); ++at) {
        if (!isContinuation(text[at])) {
            if (kept == width - 1) break;
            ++kept;
        }
    }
    return std::string(text.substr(0, at)) + "…";
}

size_t TerminalText::terminalWidth(int fd) {
    if (!::isatty(fd)) return 0;
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && *columns) {
        char* end = nullptr;
        const long value = std::strtol(columns, &end, 10);
        if (*end == '\0' && value > 0 && value <= 10000) return static_cast<size_t>(value);
    }
    return 80;
}
