#include "platform/foundation/HTMLReader.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/UTF8.h"

namespace platform {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// UTF-8 the parser can take as it is: malformed sequences and NUL become U+FFFD.
std::string sanitizedUTF8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t ignored;
        size_t n = s[i] == '\0' ? 0 : UTF8::decode(s, i, ignored);
        if (n == 0) {
            out.append(kReplacement);
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string latin1ToUTF8(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b == 0) {
            out.append(kReplacement);
        } else if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Style of the element being read; one per open element.
struct Frame {
    std::shared_ptr<const std::string> family;
    std::shared_ptr<const std::string> link;
    double size = 12.0;
    bool bold = false;
    bool italic = false;
    bool pre = false;
    bool block = false;
};

bool nameIn(const xmlChar* name, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (std::strcmp(reinterpret_cast<const char*>(name), n) == 0) return true;
    return false;
}

// Elements whose content is never shown as text (and never loaded).
bool isSkipped(const xmlChar* name) {
    return nameIn(name, {"script", "style", "head", "title", "noscript", "template", "iframe", "object",
                         "embed", "svg", "math", "select", "textarea", "frameset", "applet"});
}

bool isBlock(const xmlChar* name) {
    return nameIn(name, {"p",      "div", "li",      "ul",      "ol",     "dl",      "dt",         "dd",
                         "h1",     "h2",  "h3",      "h4",      "h5",     "h6",      "blockquote", "pre",
                         "table",  "tr",  "caption", "address", "center", "section", "article",    "header",
                         "footer", "nav", "aside",   "figure",  "hr",     "form",    "fieldset",   "main"});
}

// A CSS length in points; none for what the reader does not understand or cannot use.
std::optional<double> parseFontSize(std::string_view value, double current) {
    std::string text(trim(value));
    if (text.empty() || text.size() > 64) return std::nullopt;
    char* end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(number)) return std::nullopt;
    std::string unit = AsciiText::lower(trim(std::string_view(end)));
    double points;
    // WebKit's import treats a CSS pixel as a point.
    if (unit == "px" || unit == "pt" || unit.empty())
        points = number;
    else if (unit == "em")
        points = number * current;
    else if (unit == "%")
        points = number * current / 100.0;
    else
        return std::nullopt;
    if (!(points > 0.0) || points > HTMLReader::kMaxFontSize) return std::nullopt;
    return std::max(points, HTMLReader::kMinFontSize);
}

// The first family of a font-family list, without its quotes; a backslash escapes the next
// character inside quotes ('O\'Neil Sans').
std::optional<std::string> parseFontFamily(std::string_view value) {
    value = trim(value);
    std::string first;
    if (!value.empty() && (value.front() == '\'' || value.front() == '"')) {
        char quote = value.front();
        for (size_t i = 1; i < value.size() && value[i] != quote; ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            first.push_back(value[i]);
        }
    } else {
        first = std::string(value.substr(0, value.find(',')));
    }
    std::string_view trimmed = trim(first);
    if (trimmed.empty() || trimmed.size() > HTMLReader::kMaxFamilyLength) return std::nullopt;
    return std::string(trimmed);
}

// The end of the declaration starting at `s`: the first ';' outside quotes.
size_t declarationEnd(std::string_view s) {
    char quote = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == '\\')
                ++i;
            else if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            return i;
        }
    }
    return std::string_view::npos;
}

void applyStyle(std::string_view style, Frame& frame) {
    while (!style.empty()) {
        auto semicolon = declarationEnd(style);
        std::string_view declaration = style.substr(0, semicolon);
        style = semicolon == std::string_view::npos ? std::string_view() : style.substr(semicolon + 1);
        auto colon = declaration.find(':');
        if (colon == std::string_view::npos) continue;
        std::string property = AsciiText::lower(trim(declaration.substr(0, colon)));
        std::string_view value = trim(declaration.substr(colon + 1));
        std::string keyword = value.size() <= 32 ? AsciiText::lower(value) : std::string();
        if (property == "font-family") {
            if (auto family = parseFontFamily(value))
                frame.family = std::make_shared<const std::string>(std::move(*family));
        } else if (property == "font-size") {
            if (auto size = parseFontSize(value, frame.size)) frame.size = *size;
        } else if (property == "font-weight") {
            if (keyword == "bold" || keyword == "bolder" || keyword == "600" || keyword == "700" ||
                keyword == "800" || keyword == "900")
                frame.bold = true;
            else if (keyword == "normal" || keyword == "lighter" || keyword == "100" || keyword == "200" ||
                     keyword == "300" || keyword == "400" || keyword == "500")
                frame.bold = false;
        } else if (property == "font-style") {
            if (keyword == "italic" || keyword == "oblique")
                frame.italic = true;
            else if (keyword == "normal")
                frame.italic = false;
        }
    }
}

class Builder {
public:
    explicit Builder(const TextAttributes& base) {
        Frame root;
        root.family = std::make_shared<const std::string>(base.fontFamily);
        root.size = base.fontSize;
        root.bold = base.bold;
        root.italic = base.italic;
        if (!base.link.empty()) root.link = std::make_shared<const std::string>(base.link);
        m_frames.push_back(std::move(root));
    }

    AttributedString take() { return std::move(m_result); }

    // Opens an element; false when its content is not to be read.
    bool enter(xmlNode* node) {
        const xmlChar* name = node->name;
        if (!name || isSkipped(name)) return false;
        Frame frame = m_frames.back();
        frame.block = isBlock(name);
        if (nameIn(name, {"b", "strong", "th"})) frame.bold = true;
        if (nameIn(name, {"i", "em", "cite", "var", "dfn", "address"})) frame.italic = true;
        if (nameIn(name, {"pre", "listing", "xmp", "plaintext"})) frame.pre = true;
        static const std::pair<const char*, double> headings[] = {{"h1", 2.0}, {"h2", 1.5},  {"h3", 1.17},
                                                                  {"h4", 1.0}, {"h5", 0.83}, {"h6", 0.67}};
        for (const auto& [heading, scale] : headings) {
            if (nameIn(name, {heading})) {
                frame.bold = true;
                // Nested headings scale again and again: keep the size within bounds, so that
                // it never overflows to infinity or sinks to zero.
                frame.size =
                    std::clamp(frame.size * scale, HTMLReader::kMinFontSize, HTMLReader::kMaxFontSize);
            }
        }
        if (nameIn(name, {"a"})) {
            if (xmlChar* href = xmlGetProp(node, BAD_CAST "href")) {
                std::string_view address(reinterpret_cast<const char*>(href));
                address = trim(address);
                if (!address.empty() && address.size() <= HTMLReader::kMaxLinkLength)
                    frame.link = std::make_shared<const std::string>(address);
                xmlFree(href);
            }
        }
        if (xmlChar* style = xmlGetProp(node, BAD_CAST "style")) {
            applyStyle(reinterpret_cast<const char*>(style), frame);
            xmlFree(style);
        }
        m_frames.push_back(std::move(frame));
        if (m_frames.back().block) lineBreak(false);
        if (nameIn(name, {"br"})) lineBreak(true);
        return true;
    }

    void leave() {
        if (m_frames.back().block) lineBreak(false);
        m_frames.pop_back();
    }

    void text(const xmlChar* content) {
        if (!content) return;
        std::string_view text(reinterpret_cast<const char*>(content));
        if (m_frames.back().pre) {
            append(text);
            return;
        }
        // Runs of white space become one space, written only when more text follows in the same
        // paragraph (so no line starts or ends with one). It keeps the style it appeared in.
        size_t i = 0;
        while (i < text.size()) {
            if (isSpace(text[i])) {
                while (i < text.size() && isSpace(text[i])) ++i;
                if (!atLineStart() && !m_pendingSpace) m_pendingSpace = attributes();
                continue;
            }
            size_t start = i;
            while (i < text.size() && !isSpace(text[i])) ++i;
            append(text.substr(start, i - start));
        }
    }

private:
    TextAttributes attributes() const {
        const Frame& frame = m_frames.back();
        TextAttributes a;
        a.fontFamily = frame.family ? *frame.family : std::string();
        a.fontSize = frame.size;
        a.bold = frame.bold;
        a.italic = frame.italic;
        if (frame.link) a.link = *frame.link;
        return a;
    }
    void append(std::string_view text) {
        if (text.empty()) return;
        if (m_pendingSpace) {
            m_result.append(" ", *m_pendingSpace);
            m_pendingSpace.reset();
        }
        m_result.append(text, attributes());
    }
    bool atLineStart() const { return m_result.length() == 0 || m_result.string().back() == '\n'; }
    // A paragraph ends: a line feed unless the text is empty or already ends one (always for <br>).
    void lineBreak(bool always) {
        m_pendingSpace.reset();
        if (always || !atLineStart()) append("\n");
    }

    std::vector<Frame> m_frames;
    std::optional<TextAttributes> m_pendingSpace;
    AttributedString m_result;
};

struct DocumentDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

TextAttributes HTMLReader::defaultAttributes() {
    TextAttributes attributes;
    attributes.fontFamily = "Times";
    attributes.fontSize = 12.0;
    return attributes;
}

std::optional<AttributedString> HTMLReader::read(std::string_view data, int characterEncoding,
                                                 const TextAttributes& base) {
    std::string utf8;
    if (characterEncoding == kUTF8StringEncoding)
        utf8 = sanitizedUTF8(data);
    else if (characterEncoding == kISOLatin1StringEncoding)
        utf8 = latin1ToUTF8(data);
    else
        return std::nullopt;
    if (utf8.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
    if (utf8.empty()) return AttributedString();

    constexpr int options = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                            HTML_PARSE_IGNORE_ENC | HTML_PARSE_RECOVER | HTML_PARSE_COMPACT | XML_PARSE_HUGE;
    std::unique_ptr<xmlDoc, DocumentDeleter> doc(
        htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8", options));
    if (!doc) return std::nullopt;

    Builder builder(base);
    auto* top = reinterpret_cast<xmlNode*>(doc.get());
    xmlNode* node = top->children;
    while (node) {
        bool opened = false;
        if (node->type == XML_ELEMENT_NODE)
            opened = builder.enter(node);
        else if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE)
            builder.text(node->content);
        if (opened && node->children) {
            node = node->children;
            continue;
        }
        if (opened) builder.leave();
        // Climb until a next sibling exists, closing each element passed on the way up.
        while (node && !node->next) {
            node = node->parent;
            if (!node || node == top) {
                node = nullptr;
                break;
            }
            builder.leave();
        }
        if (node) node = node->next;
    }
    return builder.take();
}

}  // namespace platform
