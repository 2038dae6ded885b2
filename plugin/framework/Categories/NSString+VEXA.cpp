#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/PercentEncoding.h"
#include "platform/foundation/UTF8.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

std::string encodedForURL(std::string_view text) {
    return platform::PercentEncoding::encoded(text);
}

std::optional<std::string> encodedForURLLatin1(std::string_view text) {
    std::string latin1;
    latin1.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t codePoint = 0;
        const size_t length = platform::UTF8::decode(text, i, codePoint);
        if (length == 0 || codePoint > 0xFF) return std::nullopt;
        latin1 += static_cast<char>(codePoint);
        i += length;
    }
    return platform::PercentEncoding::encoded(latin1);
}

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isCombiningMark(UChar32 c) {
    int8_t type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

}  // namespace

bool containsSubstring(std::string_view text, std::string_view needle) {
    if (needle.empty()) return false;
    // ASCII has no composed characters, and bytes that are not UTF-8 have no equivalents.
    if ((isAscii(text) && isAscii(needle)) || !platform::UTF8::isValid(text) ||
        !platform::UTF8::isValid(needle))
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
