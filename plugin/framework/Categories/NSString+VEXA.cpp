#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <algorithm>
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

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view text) {
    int32_t i = 0, length = static_cast<int32_t>(text.size());
    while (i < length) {
        UChar32 c;
        U8_NEXT(text.data(), i, length, c);
        if (c < 0) return false;
    }
    return true;
}

bool isCombiningMark(UChar32 c) {
    int8_t type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

}  // namespace

bool containsSubstring(std::string_view text, std::string_view needle) {
    if (needle.empty()) return false;
    // ASCII has no composed characters, and bytes that are not UTF-8 have no equivalents.
    if ((isAscii(text) && isAscii(needle)) || !isValidUtf8(text) || !isValidUtf8(needle))
        return text.find(needle) != std::string_view::npos;

    // Canonically equivalent texts have the same decomposed form. A match must not end inside a
    // character: "cafe" is not in "café", whose last letter is e plus a combining accent.
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return text.find(needle) != std::string_view::npos;
    icu::UnicodeString haystack = nfd->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size()))),
        status);
    icu::UnicodeString wanted = nfd->normalize(
        icu::UnicodeString::fromUTF8(icu::StringPiece(needle.data(), static_cast<int32_t>(needle.size()))),
        status);
    if (U_FAILURE(status)) return text.find(needle) != std::string_view::npos;
    for (int32_t at = haystack.indexOf(wanted); at >= 0; at = haystack.indexOf(wanted, at + 1)) {
        int32_t end = at + wanted.length();
        bool startsInside =
            at > 0 && isCombiningMark(haystack.char32At(at)) && !isCombiningMark(wanted.char32At(0));
        bool endsInside = end < haystack.length() && isCombiningMark(haystack.char32At(end));
        if (!startsInside && !endsInside) return true;
    }
    return false;
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
