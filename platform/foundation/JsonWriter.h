#pragma once

// JsonWriter: a platform::Value as JSON text, written piece by piece to a sink (a stream, a
// FILE, or a string), so a large document never needs its whole text in memory.
//
//   - Dictionaries are written in key order; numbers in their usual decimal form
//     (Value::numberText(): integers and large integers digit for digit, reals as the shortest
//     text that reads back to the same double, with ".0" when integral); NaN and infinities,
//     which JSON cannot express, as null.
//   - Texts are escaped as JSON requires (quotes, backslashes, control characters); other
//     characters are written as UTF-8. Invalid UTF-8 in a text is written as U+FFFD, so the
//     output is always valid JSON.
//   - Nothing recurses: any depth is fine.
//
// Layout (JsonFormat): compact on one line, or indented. Indentation is bounded: lines deeper
// than maxIndentLevels are indented as that level, so a tree nested 100,000 levels deep gives a
// text of linear size instead of one that grows with the square of the depth.

#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

struct JsonFormat {
    // Spaces per level, at most kMaxIndent; negative: one line without spaces.
    int indent = -1;
    // Lines below this many levels are indented as this level: with the widest indentation a
    // line starts with at most 512 spaces, whatever the depth.
    int maxIndentLevels = 32;

    static constexpr int kMaxIndent = 16;
};

class JsonWriter {
public:
    // Receives the text in pieces of up to about 64 KiB; returns false when it cannot take more
    // (a full disk, a closed pipe), which stops the writer.
    using Sink = std::function<bool(std::string_view piece)>;

    explicit JsonWriter(Sink sink, JsonFormat format = {});

    // Writes one value; false when the sink refused a piece (its text is then incomplete).
    bool write(const Value& value);

    // The whole text in memory, for small values.
    static std::string text(const Value& value, JsonFormat format = {});
    // Streams the text; false when the output failed (the stream's state or the FILE's error
    // indicator tells more).
    static bool writeTo(std::ostream& out, const Value& value, JsonFormat format = {});
    static bool writeTo(std::FILE* out, const Value& value, JsonFormat format = {});

private:
    JsonWriter(std::string& target, JsonFormat format);
    void run(const Value& value);
    void newline(size_t depth);
    void scalar(const Value& value);
    void string(std::string_view text);
    bool flushIfFull();
    bool flush();

    Sink m_sink;
    JsonFormat m_format;
    std::string m_ownBuffer;
    std::string& m_out;
    bool m_failed = false;
};

}  // namespace platform
