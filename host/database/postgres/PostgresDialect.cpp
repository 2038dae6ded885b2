#include "host/database/postgres/PostgresDialect.h"

#include <fmt/format.h>

#include "host/database/store/SqlText.h"

namespace host {

const PostgresDialect& PostgresDialect::shared() {
    static const PostgresDialect dialect;
    return dialect;
}

void PostgresDialect::appendPlaceholder(std::string& out, size_t n) const {
    fmt::format_to(std::back_inserter(out), "${}", n);
}

void PostgresDialect::appendInArray(std::string& out, std::string_view operand, size_t n,
                                    StoredValue::Kind element) const {
    out += operand;
    out += " = ANY(";
    if (element == StoredValue::Kind::Null)
        appendPlaceholder(out, n);
    else
        appendTypedPlaceholder(out, n, element, true);
    out += ')';
}

void PostgresDialect::appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const {
    out += "lower((";
    out += operand;
    out += ")::text COLLATE \"C\") LIKE lower(";
    appendPlaceholder(out, n);
    out += "::text COLLATE \"C\") ESCAPE '\\'";
}

void PostgresDialect::appendQuotedIdentifier(std::string& out, std::string_view name) const {
    // PostgreSQL reads double-quoted identifiers as SQLite does.
    SqlText::appendQuotedIdentifier(out, name);
}

namespace {

const char* typeName(StoredValue::Kind kind) {
    switch (kind) {
        case StoredValue::Kind::Integer:
            return "bigint";
        case StoredValue::Kind::Real:
            return "double precision";
        case StoredValue::Kind::Text:
            return "text";
        default:
            return "bytea";
    }
}

// The tag byte a value of an attribute of any type starts with (PostgresStore keeps such values
// as bytea: the tag, then the value).
const char* tagOf(StoredValue::Kind kind) {
    switch (kind) {
        case StoredValue::Kind::Integer:
            return "i";
        case StoredValue::Kind::Real:
            return "r";
        case StoredValue::Kind::Text:
            return "t";
        default:
            return "b";
    }
}

}  // namespace

void PostgresDialect::appendTypedPlaceholder(std::string& out, size_t n, StoredValue::Kind kind,
                                             bool array) const {
    // Typed, so the server never has to guess a parameter's type from a context that has none.
    fmt::format_to(std::back_inserter(out), "${}::{}{}", n, typeName(kind), array ? "[]" : "");
}

void PostgresDialect::appendAnyIsKind(std::string& out, std::string_view column,
                                      StoredValue::Kind kind) const {
    fmt::format_to(std::back_inserter(out), "substr({}, 1, 1) = '{}'::bytea", column, tagOf(kind));
}

void PostgresDialect::appendAnyValue(std::string& out, std::string_view column,
                                     StoredValue::Kind kind) const {
    switch (kind) {
        case StoredValue::Kind::Integer:
        case StoredValue::Kind::Real:
            // The number's text after the tag: digits, or a real as the store wrote it ("1e+300", "inf").
            fmt::format_to(std::back_inserter(out), "convert_from(substr({}, 2), 'UTF8')::{}", column,
                           typeName(kind));
            return;
        default:
            fmt::format_to(std::back_inserter(out), "substr({}, 2)", column);
            return;
    }
}

void PostgresDialect::appendTextAsBytes(std::string& out, std::string_view text) const {
    fmt::format_to(std::back_inserter(out), "convert_to({}, 'UTF8')", text);
}

void PostgresDialect::appendTruncated(std::string& out, std::string_view real) const {
    fmt::format_to(std::back_inserter(out), "trunc({})", real);
}

void PostgresDialect::appendAsInteger(std::string& out, std::string_view integralReal) const {
    fmt::format_to(std::back_inserter(out), "({})::bigint", integralReal);
}

}  // namespace host
