#include "platform/foundation/JsonWriter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <ostream>
#include <vector>

#include "platform/foundation/UTF8.h"

namespace platform {

namespace {

// The text goes to the sink once this much has collected.
constexpr size_t kPieceSize = 64 * 1024;

JsonFormat bounded(JsonFormat format) {
    format.indent = std::min(format.indent, JsonFormat::kMaxIndent);
    format.maxIndentLevels = std::max(format.maxIndentLevels, 0);
    return format;
}

}  // namespace

JsonWriter::JsonWriter(Sink sink, JsonFormat format)
    : m_sink(std::move(sink)), m_format(bounded(format)), m_out(m_ownBuffer) {
    m_ownBuffer.reserve(kPieceSize + kPieceSize / 4);
}

JsonWriter::JsonWriter(std::string& target, JsonFormat format) : m_format(bounded(format)), m_out(target) {}

bool JsonWriter::write(const Value& value) {
    run(value);
    flush();
    return !m_failed;
}

std::string JsonWriter::text(const Value& value, JsonFormat format) {
    std::string out;
    JsonWriter writer(out, format);
    writer.run(value);
    return out;
}

bool JsonWriter::writeTo(std::ostream& out, const Value& value, JsonFormat format) {
    JsonWriter writer(
        [&out](std::string_view piece) {
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
            return static_cast<bool>(out);
        },
        format);
    return writer.write(value);
}

bool JsonWriter::writeTo(std::FILE* out, const Value& value, JsonFormat format) {
    JsonWriter writer(
        [out](std::string_view piece) {
            return std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
        },
        format);
    return writer.write(value);
}

bool JsonWriter::flush() {
    if (m_sink && !m_out.empty()) {
        if (!m_failed && !m_sink(m_out)) m_failed = true;
        m_out.clear();
    }
    return !m_failed;
}

bool JsonWriter::flushIfFull() {
    return m_out.size() < kPieceSize || flush();
}

void JsonWriter::newline(size_t depth) {
    if (m_format.indent < 0) return;
    m_out += '\n';
    const size_t levels = std::min(depth, static_cast<size_t>(m_format.maxIndentLevels));
    m_out.append(levels * static_cast<size_t>(m_format.indent), ' ');
}

void JsonWriter::run(const Value& root) {
    struct Frame {
        const Value* container;
        size_t next;
    };
    std::vector<Frame> open;
    // Writes a scalar or an empty container, or opens a container (pushing a frame).
    auto begin = [&](const Value& value) {
        if (value.isArray()) {
            if (value.asArray().empty()) {
                m_out += "[]";
            } else {
                m_out += '[';
                open.push_back({&value, 0});
            }
        } else if (value.isDictionary()) {
            if (value.asDictionary().empty()) {
                m_out += "{}";
            } else {
                m_out += '{';
                open.push_back({&value, 0});
            }
        } else {
            scalar(value);
        }
    };
    begin(root);
    while (!open.empty() && !m_failed) {
        Frame& frame = open.back();
        const bool isArray = frame.container->isArray();
        const size_t count =
            isArray ? frame.container->asArray().size() : frame.container->asDictionary().size();
        if (frame.next == count) {
            open.pop_back();
            newline(open.size());
            m_out += isArray ? ']' : '}';
            flushIfFull();  // the closing lines of a deep tree go out in pieces too
            continue;
        }
        if (frame.next > 0) m_out += ',';
        newline(open.size());
        const Value* child;
        if (isArray) {
            child = &frame.container->asArray()[frame.next];
        } else {
            const auto& entry =
                *(frame.container->asDictionary().begin() + static_cast<std::ptrdiff_t>(frame.next));
            string(entry.first);
            m_out += m_format.indent < 0 ? ":" : ": ";
            child = &entry.second;
        }
        ++frame.next;
        begin(*child);  // may push: `frame` is not used after this
        flushIfFull();
    }
}

void JsonWriter::scalar(const Value& value) {
    switch (value.type()) {
        case Value::Type::Null:
            m_out += "null";
            break;
        case Value::Type::Boolean:
            m_out += value.asBool() ? "true" : "false";
            break;
        case Value::Type::Integer:
            fmt::format_to(std::back_inserter(m_out), "{}", value.asInteger());
            break;
        case Value::Type::Real:
            if (!value.isLargeInteger() && !std::isfinite(value.asReal()))
                m_out += "null";
            else
                m_out += value.numberText();
            break;
        case Value::Type::String:
            string(value.asString());
            break;
        case Value::Type::Array:
        case Value::Type::Dictionary:
            break;  // containers are opened by run()
    }
}

void JsonWriter::string(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    m_out += '"';
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        while (i < text.size()) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) break;
            ++i;
        }
        m_out.append(text.data() + start, i - start);
        if (i == text.size()) break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // A malformed sequence becomes one U+FFFD for its longest well-formed start.
            char32_t ignored = 0;
            size_t length = UTF8::decode(text, i, ignored);
            if (length) {
                m_out.append(text.data() + i, length);
            } else {
                m_out += "\xEF\xBF\xBD";
                length = UTF8::malformedLength(text, i);
            }
            i += length;
        } else {
            switch (c) {
                case '"':
                    m_out += "\\\"";
                    break;
                case '\\':
                    m_out += "\\\\";
                    break;
                case '\b':
                    m_out += "\\b";
                    break;
                case '\f':
                    m_out += "\\f";
                    break;
                case '\n':
                    m_out += "\\n";
                    break;
                case '\r':
                    m_out += "\\r";
                    break;
                case '\t':
                    m_out += "\\t";
                    break;
                default:
                    m_out += "\\u00";
                    m_out += kHex[c >> 4];
                    m_out += kHex[c & 0xF];
            }
            ++i;
        }
        flushIfFull();  // a long text goes out in pieces too
    }
    m_out += '"';
}

}  // namespace platform
