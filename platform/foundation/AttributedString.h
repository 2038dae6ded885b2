#pragma once

// AttributedString: text with styled runs (NSAttributedString). Each run covers a byte range of
// the UTF-8 text and carries the font family, size, weight, slant and link of that range. Runs
// are contiguous, cover the whole text, and neighbours never carry equal attributes: appending
// text styled like the end of the string extends the last run.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TextAttributes {
    std::string fontFamily;
    double fontSize = 12.0;
    bool bold = false;
    bool italic = false;
    std::string link;  // the address the text leads to; empty when it is no link
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

struct TextRun {
    size_t location = 0;  // byte offset into the text
    size_t length = 0;    // in bytes
    TextAttributes attributes;
    friend bool operator==(const TextRun&, const TextRun&) = default;
};

class AttributedString {
public:
    AttributedString() = default;
    AttributedString(std::string text, const TextAttributes& attributes);

    const std::string& string() const { return m_text; }
    size_t length() const { return m_text.size(); }
    const std::vector<TextRun>& runs() const { return m_runs; }

    void append(std::string_view text, const TextAttributes& attributes);
    // The attributes at byte `index`; index must be below length().
    const TextAttributes& attributesAtIndex(size_t index) const;
    // The text of one run, for tests and diagnostics.
    std::string_view textOfRun(const TextRun& run) const {
        return std::string_view(m_text).substr(run.location, run.length);
    }

    friend bool operator==(const AttributedString&, const AttributedString&) = default;

private:
    std::string m_text;
    std::vector<TextRun> m_runs;
};

}  // namespace platform
