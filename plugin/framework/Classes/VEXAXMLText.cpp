#include "plugin/framework/Classes/VEXAXMLText.h"

#include <expat.h>
#include <fmt/format.h>

#include <cstdint>
#include <memory>

#include "platform/foundation/UTF8.h"

size_t KOPAXMLText::leadingSpaceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return (b0 == ' ' || (b0 >= 0x09 && b0 <= 0x0D)) ? 1 : 0;
    if (s.size() >= 2 && b0 == 0xC2) {
        const auto b1 = static_cast<unsigned char>(s[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if (s.size() < 3) return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    const auto b2 = static_cast<unsigned char>(s[2]);
    if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
    if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
    if (b0 == 0xE2 && b1 == 0x80) {                             // U+2000..U+200A, U+2028/9, U+202F
        return (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
    }
    if (b0 == 0xE2 && b1 == 0x81) return b2 == 0x9F ? 3 : 0;  // U+205F
    return 0;
}

std::string_view KOPAXMLText::trimSpace(std::string_view s) {
    // ASCII first: the runs between elements are line breaks and indentation.
    while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
    while (!s.empty()) {
        const size_t n = leadingSpaceLength(s);
        if (n == 0) break;
        s.remove_prefix(n);
    }
    while (!s.empty()) {
        // Step back over continuation bytes to the start of the last character.
        size_t start = s.size() - 1;
        while (start > 0 && s.size() - start < 3 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
            --start;
        const std::string_view last = s.substr(start);
        if (leadingSpaceLength(last) != last.size()) break;
        s.remove_suffix(last.size());
    }
    return s;
}

std::optional<std::string> KOPAXMLText::disallowedCharacter(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const size_t length = platform::UTF8::decode(text, i, c);
        if (length == 0) {
            if (auto surrogate = platform::UTF8::encodedSurrogate(text, i))
                return fmt::format("surrogate U+{:04X} at byte {}", static_cast<uint32_t>(*surrogate), i);
            return fmt::format("invalid UTF-8 at byte {}", i);
        }
        if (c < 0x20 && c != 0x09 && c != 0x0A && c != 0x0D)
            return fmt::format("control character U+{:04X} at byte {}", static_cast<uint32_t>(c), i);
        if (c == 0xFFFE || c == 0xFFFF)
            return fmt::format("non-character U+{:04X} at byte {}", static_cast<uint32_t>(c), i);
        i += length;
    }
    return std::nullopt;
}

namespace {

bool isAsciiNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}

bool isAsciiNameChar(char c) {
    return isAsciiNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

struct ExpatFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

// The name as an element of a one-element document, read by expat.
bool expatAcceptsName(std::string_view name) {
    std::unique_ptr<XML_ParserStruct, ExpatFree> parser(XML_ParserCreate("UTF-8"));
    if (!parser) return false;
    std::string document = "<";
    document += name;
    document += "/>";
    return XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), XML_TRUE) ==
           XML_STATUS_OK;
}

}  // namespace

bool KOPAXMLText::isName(std::string_view name) {
    if (name.empty()) return false;
    bool ascii = true;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            continue;
        }
        if (i == 0 ? !isAsciiNameStart(c) : !isAsciiNameChar(c)) return false;
    }
    if (ascii) return true;
    // Names are short; a name too long to be one is refused rather than handed to the probe.
    if (name.size() > 4096 || disallowedCharacter(name)) return false;
    return expatAcceptsName(name);
}

namespace {

template <bool Attribute>
void appendEscaped(std::string& out, std::string_view text) {
    size_t plainStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* replacement;
        switch (text[i]) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                replacement = "&quot;";
                break;
            case '\'':
                replacement = "&apos;";
                break;
            case '\r':
                replacement = "&#13;";
                break;
            case '\n':
                if (!Attribute) continue;
                replacement = "&#10;";
                break;
            case '\t':
                if (!Attribute) continue;
                replacement = "&#9;";
                break;
            default:
                continue;
        }
        out.append(text.data() + plainStart, i - plainStart);
        out += replacement;
        plainStart = i + 1;
    }
    out.append(text.data() + plainStart, text.size() - plainStart);
}

}  // namespace

void KOPAXMLText::appendEscapedText(std::string& out, std::string_view text) {
    appendEscaped<false>(out, text);
}

void KOPAXMLText::appendEscapedAttribute(std::string& out, std::string_view value) {
    appendEscaped<true>(out, value);
}
