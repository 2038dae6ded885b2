#include "app/tool/JsonStreamWriter.h"

#include <algorithm>
#include <vector>

namespace {
// Large enough that writes cost little, small enough that memory does not depend on the output.
constexpr size_t kChunk = size_t{1} << 16;
}  // namespace

JsonStreamWriter::JsonStreamWriter(std::ostream& out, int indent)
    : m_out(out), m_indent(indent < 0 ? -1 : std::min(indent, kMaxIndent)) {
    m_buffer.reserve(kChunk + kMaxIndentColumns + 1);
}

void JsonStreamWriter::flushBuffer() {
    if (!m_buffer.empty() && m_out)
        m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.clear();
}

void JsonStreamWriter::put(char c) {
    m_buffer += c;
    if (m_buffer.size() >= kChunk) flushBuffer();
}

void JsonStreamWriter::put(std::string_view text) {
    if (m_buffer.size() + text.size() > kChunk) {
        flushBuffer();
        if (text.size() >= kChunk) {
            if (m_out) m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
            return;
        }
    }
    m_buffer += text;
}

void JsonStreamWriter::newline(size_t depth) {
    if (m_indent < 0) return;
    put('\n');
    const size_t columns = std::min(depth * static_cast<size_t>(m_indent), kMaxIndentColumns);
    m_buffer.append(columns, ' ');  // the buffer keeps room for one line's indentation
    if (m_buffer.size() >= kChunk) flushBuffer();
}

bool JsonStreamWriter::write(const platform::Value& root) {
    struct Frame {
        const platform::Value* container;
        size_t next = 0;
    };
    std::vector<Frame> stack;
    // Writes a scalar or an empty container, or opens a container (pushing a frame).
    auto begin = [&](const platform::Value& value) {
        const bool array = value.isArray();
        if (!array && !value.isDictionary()) return put(value.toJson());
        const bool empty = array ? value.asArray().empty() : value.asDictionary().empty();
        if (empty) return put(array ? "[]" : "{}");
        put(array ? '[' : '{');
        stack.push_back(Frame{&value});
    };
    begin(root);
    while (!stack.empty() && m_out) {
        Frame& frame = stack.back();
        const platform::Value& container = *frame.container;
        const bool array = container.isArray();
        const size_t count = array ? container.asArray().size() : container.asDictionary().size();
        if (frame.next == count) {
            stack.pop_back();
            newline(stack.size());
            put(array ? ']' : '}');
            continue;
        }
        if (frame.next > 0) put(',');
        newline(stack.size());
        const size_t index = frame.next++;
        if (array) {
            begin(container.asArray()[index]);  // may move `frame`
            continue;
        }
        const auto& [key, value] = *(container.asDictionary().begin() + static_cast<std::ptrdiff_t>(index));
        put(platform::Value(std::string_view(key)).toJson());
        put(m_indent < 0 ? ":" : ": ");
        begin(value);  // may move `frame`
    }
    put('\n');
    flushBuffer();
    m_out.flush();
    return static_cast<bool>(m_out);
}
