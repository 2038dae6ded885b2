#pragma once

// JsonReader: JSON text (RFC 8259) to a platform::Value, through nlohmann-json's event parser.
//
//   - Any value may stand at the top, scalars included.
//   - Objects become dictionaries; of duplicate keys the last one wins, as with repeated
//     assignment.
//   - Integers that fit 64 bits become Integer values; longer integers keep their exact digits
//     (Value::isLargeInteger()), so writing the value gives the same text back; numbers with a
//     fraction or exponent become reals. A number beyond the range of a double (1e400, or an
//     integer of more than 308 digits) is an error, not an infinity.
//   - Texts must be valid UTF-8; escapes are decoded (\u0000 included), lone surrogates and raw
//     control characters are errors. A leading UTF-8 byte order mark is skipped.
//   - Nesting depth is limited by memory only: nothing recurses, and memory stays proportional
//     to the text.
//
// Malformed text throws JsonError: the parser's description of the fault, with the line and
// column (in bytes, both from 1) where it was found.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

class JsonError : public ValueError {
public:
    JsonError(const std::string& message, size_t offset, size_t line, size_t column)
        : ValueError(message), m_offset(offset), m_line(line), m_column(column) {}
    // Bytes of the text before the place of the fault.
    size_t offset() const { return m_offset; }
    size_t line() const { return m_line; }
    size_t column() const { return m_column; }

private:
    size_t m_offset;
    size_t m_line;
    size_t m_column;
};

class JsonReader {
public:
    // The value of a whole JSON text (white space around it allowed, nothing else).
    static Value parse(std::string_view text);
};

}  // namespace platform
