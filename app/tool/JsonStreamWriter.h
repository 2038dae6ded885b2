#pragma once

// JsonStreamWriter: writes a value as JSON straight to an output stream, in chunks, without
// building the whole text. Scalars and keys are written by the platform's own JSON writer
// (Value::toJson), so numbers and escapes read the same as everywhere else; this class only lays
// out the containers, with an explicit stack, so any depth is fine.
//
// Indentation is bounded: a level adds `indent` spaces (at most kMaxIndent) until the line starts
// at column kMaxIndentColumns; deeper levels start there too. Without that bound a document
// nested 30,000 levels deep would give gigabytes of leading spaces (the text grows with depth
// squared); with it, the output stays proportional to the document. Up to that column the text
// is the one Value::toJson(indent) gives.

#include <cstddef>
#include <ostream>
#include <string>

#include "platform/foundation/Value.h"

class JsonStreamWriter {
public:
    static constexpr int kMaxIndent = 16;
    static constexpr size_t kMaxIndentColumns = 128;

    // indent < 0 writes everything on one line; indents above kMaxIndent count as kMaxIndent.
    JsonStreamWriter(std::ostream& out, int indent);

    // Writes the value followed by a line feed and flushes. False when the stream failed (a
    // full disk, a closed pipe); what was written before the failure stays written.
    bool write(const platform::Value& value);

private:
    void newline(size_t depth);
    void put(char c);
    void put(std::string_view text);
    void flushBuffer();

    std::ostream& m_out;
    int m_indent;
    std::string m_buffer;
};
