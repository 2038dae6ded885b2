#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "plugin/framework/Categories/NSString+VEXA.h"

namespace {

bool staysUnescaped(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    if (staysUnescaped(byte)) {
        out += static_cast<char>(byte);
    } else {
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

// Decodes the UTF-8 character at text[i], advancing i; false on a malformed, overlong or
// surrogate sequence.
bool decodeUTF8(std::string_view text, size_t& i, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length;
    char32_t minimum;
    if (lead < 0x80) {
        codePoint = lead;
        ++i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if ((byte & 0xC0) != 0x80) return false;
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return false;
    i += length;
    return true;
}

}  // namespace

std::string encodedForURL(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (char c : text) appendEscaped(out, static_cast<unsigned char>(c));
    return out;
}

std::optional<std::string> encodedForURLLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (size_t i = 0; i < text.size();) {
        char32_t codePoint;
        if (!decodeUTF8(text, i, codePoint) || codePoint > 0xFF) return std::nullopt;
        appendEscaped(out, static_cast<unsigned char>(codePoint));
    }
    return out;
}

bool containsSubstring(std::string_view text, std::string_view needle) {
    return !needle.empty() && text.find(needle) != std::string_view::npos;
}

platform::Result<std::string> kopaContentsOfFile(const std::filesystem::path& path) {
    auto failure = [&path](int error) {
        return platform::Status::error(
            fmt::format("cannot read {}: {}", path.string(), std::strerror(error)));
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    std::string contents;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) contents.reserve(static_cast<size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return failure(error);
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return contents;
}
