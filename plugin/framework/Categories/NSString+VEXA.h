#pragma once

// Text helpers: percent-encoding for URLs and a substring test. Texts are UTF-8 std::strings.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Status.h"

// The text percent-encoded for use inside a URL, byte by byte in UTF-8: ASCII letters, digits
// and "-._~" stay; every other byte (the characters RFC 2396 does not allow, those of the escape
// set "!*'();:@&=+$,/?%#[]", and every byte of a character outside ASCII) becomes "%" and two
// upper-case hexadecimal digits. A space gives "%20"; a per cent sign is escaped as well, so
// encoding twice encodes twice. Bytes that are not valid UTF-8 are escaped like any other.
std::string encodedForURL(std::string_view text);

// The same with the text converted to Latin-1 (ISO 8859-1) first: a Latin-1 letter outside ASCII
// gives exactly one escape. Nothing when the text holds a character Latin-1 cannot represent or
// is not valid UTF-8 (no partial or lossy result).
std::optional<std::string> encodedForURLLatin1(std::string_view text);

// True when `needle` occurs in `text`; case-sensitive; an empty needle is never found.
// Canonically equivalent sequences count as equal (é as one code point, or e followed by a
// combining accent), and a match never ends or starts inside a character ("cafe" is not in
// "café"). Texts that are not valid UTF-8 are compared byte for byte.
bool containsSubstring(std::string_view text, std::string_view needle);

// The whole file's bytes (the platform's data-with-contents-of-file), or a failure naming the
// file and the system's error. A directory or unreadable file is a failure, never empty bytes.
platform::Result<std::string> kopaContentsOfFile(const std::filesystem::path& path);
