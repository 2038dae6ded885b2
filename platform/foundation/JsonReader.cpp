#include "platform/foundation/JsonReader.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/foundation/UTF8.h"

namespace platform {

namespace {

// Builds the Value from the parser's events. Open containers keep their members on two shared
// stacks (values, and keys of open objects); a closing container takes its members off the top
// in one move. Each open level costs a few words, whatever the depth.
class ValueBuilder final : public nlohmann::json_sax<nlohmann::json> {
public:
    bool null() override { return put(Value()); }
    bool boolean(bool b) override { return put(Value(b)); }
    bool number_integer(number_integer_t i) override { return put(Value(static_cast<int64_t>(i))); }
    bool number_unsigned(number_unsigned_t u) override { return put(Value(static_cast<uint64_t>(u))); }
    bool number_float(number_float_t real, const string_t& text) override {
        // The parser hands integers that overflow 64 bits over as reals: keep their digits.
        const bool integral = !text.empty() && text.find_first_of(".eE") == std::string::npos;
        return put(integral ? Value::integerFromText(text) : Value(static_cast<double>(real)));
    }
    bool string(string_t& s) override { return put(Value(std::move(s))); }
    bool binary(binary_t&) override { return false; }  // not produced by JSON text
    bool start_object(std::size_t) override { return open(false); }
    bool key(string_t& k) override {
        m_keys.push_back(std::move(k));
        return true;
    }
    bool end_object() override {
        const Frame frame = m_open.back();
        m_open.pop_back();
        const size_t count = m_values.size() - frame.firstValue;
        Dictionary::Entries entries;
        entries.reserve(count);
        for (size_t i = 0; i < count; ++i)
            entries.emplace_back(std::move(m_keys[frame.firstKey + i]),
                                 std::move(m_values[frame.firstValue + i]));
        m_keys.resize(frame.firstKey);
        m_values.resize(frame.firstValue);
        return put(Value(Dictionary(std::move(entries))));  // sorted once; the last of equal keys wins
    }
    bool start_array(std::size_t) override { return open(true); }
    bool end_array() override {
        const Frame frame = m_open.back();
        m_open.pop_back();
        const auto first = m_values.begin() + static_cast<std::ptrdiff_t>(frame.firstValue);
        Array members(std::make_move_iterator(first), std::make_move_iterator(m_values.end()));
        m_values.erase(first, m_values.end());
        return put(Value(std::move(members)));
    }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& e) override {
        m_errorPosition = position;
        m_error = e.what();
        return false;
    }

    Value takeResult() { return std::move(m_values.back()); }
    size_t errorPosition() const { return m_errorPosition; }
    const std::string& error() const { return m_error; }

private:
    struct Frame {
        size_t firstValue;
        size_t firstKey;
    };
    bool put(Value value) {
        m_values.push_back(std::move(value));
        return true;
    }
    bool open(bool) {
        m_open.push_back(Frame{m_values.size(), m_keys.size()});
        return true;
    }

    std::vector<Value> m_values;
    std::vector<std::string> m_keys;
    std::vector<Frame> m_open;
    size_t m_errorPosition = 0;
    std::string m_error;
};

// The parser's description without its exception tag and its own position prefix, cut to a
// readable length (it quotes the offending token, which hostile text can make huge).
std::string faultDescription(std::string_view what) {
    if (what.starts_with("[json.exception.")) {
        const size_t close = what.find("] ");
        if (close != std::string_view::npos) what.remove_prefix(close + 2);
    }
    if (what.starts_with("parse error")) {
        const size_t colon = what.find(": ");
        if (colon != std::string_view::npos) what.remove_prefix(colon + 2);
    }
    constexpr size_t kLongest = 200;
    if (what.size() <= kLongest) return std::string(what);
    return std::string(UTF8::truncated(what, kLongest)) + "...";
}

}  // namespace

namespace {

// The error for a fault found `offset` bytes into the text.
[[noreturn]] void fail(std::string_view text, size_t offset, std::string_view fault) {
    const std::string_view before = text.substr(0, offset);
    const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
    const size_t lineStart = before.rfind('\n');
    const size_t column = offset - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
    throw JsonError(fmt::format("JSON parse error at line {}, column {}: {}", line, column, fault), offset,
                    line, column);
}

}  // namespace

Value JsonReader::parse(std::string_view text) {
    // A NUL byte is never valid JSON text, but nlohmann's parser takes it for the end of the
    // input and would accept "[1]" followed by a NUL and anything at all. The text before it is
    // read for an earlier fault; otherwise the NUL itself is the fault.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
        try {
            (void)parse(text.substr(0, nul));
        } catch (const JsonError& e) {
            if (e.offset() < nul) throw;
        }
        fail(text, nul, "a NUL byte, which JSON text never contains (in a string, write it as \\u0000)");
    }
    ValueBuilder builder;
    bool parsed = false;
    try {
        parsed = nlohmann::json::sax_parse(text, &builder);
    } catch (const ValueError& e) {
        // integerFromText refusing a token the parser took for an integer: not expected, but
        // reported as malformed text rather than let through as another kind of error.
        throw JsonError(fmt::format("JSON parse error: {}", e.what()), 0, 1, 1);
    }
    if (parsed) return builder.takeResult();
    // The parser counts the byte it stopped at; the fault is at that byte.
    fail(text, std::min(builder.errorPosition() > 0 ? builder.errorPosition() - 1 : 0, text.size()),
         faultDescription(builder.error()));
}

}  // namespace platform
