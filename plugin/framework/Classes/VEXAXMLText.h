#pragma once

// Text rules shared by the XML readers and the writer: the white space the tree builder trims,
// the characters and names XML 1.0 allows, and the escaping that lets any allowed text survive a
// write and a read unchanged. Stateless; safe from any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class KOPAXMLText {
public:
    // Length of the white-space or line-break character that starts s (not empty), or 0. The set
    // is Unicode's space separators, line and paragraph separators, tab, U+000A..U+000D, U+0085.
    static size_t leadingSpaceLength(std::string_view s);
    static bool isAsciiSpace(char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
    // s without that white space at both ends.
    static std::string_view trimSpace(std::string_view s);

    // What is wrong with a text XML 1.0 cannot carry (bad UTF-8, a surrogate, a control character
    // other than tab, line feed and carriage return, U+FFFE, U+FFFF), with its byte offset; or
    // nothing when the text is fine.
    static std::optional<std::string> disallowedCharacter(std::string_view text);

    // Whether the element or attribute name is one the readers accept. ASCII names are checked
    // here; a name with other characters is put to expat itself, whose name tables are the ones
    // that decide when the document is read again.
    static bool isName(std::string_view name);

    // The five entity replacements and, so a read gives back what was written, character
    // references for the white space a reader would otherwise change: carriage return in text
    // (readers turn it into a line feed), tab, line feed and carriage return in attribute values
    // (readers turn them into spaces).
    static void appendEscapedText(std::string& out, std::string_view text);
    static void appendEscapedAttribute(std::string& out, std::string_view value);
};
