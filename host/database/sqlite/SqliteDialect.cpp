#include "host/database/sqlite/SqliteDialect.h"

#include "host/database/store/SqlText.h"

namespace host {

const SqliteDialect& SqliteDialect::shared() {
    static const SqliteDialect dialect;
    return dialect;
}

void SqliteDialect::appendPlaceholder(std::string& out, size_t /*n*/) const {
    out += '?';  // numbered by position, which is the order the compiler hands them out
}

void SqliteDialect::appendInArray(std::string& out, std::string_view operand, size_t n,
                                  StoredValue::Kind /*element*/) const {
    // Never chosen by the compiler (bindsListsAsArrays is false); kept meaningful all the same:
    // the members of a JSON array bound as text.
    out += operand;
    out += " IN (SELECT value FROM json_each(";
    appendPlaceholder(out, n);
    out += "))";
}

void SqliteDialect::appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const {
    out += operand;
    out += " LIKE ";
    appendPlaceholder(out, n);
    out += " ESCAPE '\\'";
}

void SqliteDialect::appendQuotedIdentifier(std::string& out, std::string_view name) const {
    SqlText::appendQuotedIdentifier(out, name);
}

// SQLite compares across kinds itself, so the compiler never asks for these; they are kept
// meaningful all the same, in SQLite's terms (an attribute of any type holds its value in the
// value's own storage class there).
void SqliteDialect::appendTypedPlaceholder(std::string& out, size_t n, StoredValue::Kind kind,
                                           bool array) const {
    if (array) {
        appendPlaceholder(out, n);
        return;
    }
    out += "CAST(";
    appendPlaceholder(out, n);
    switch (kind) {
        case StoredValue::Kind::Integer:
            out += " AS INTEGER)";
            return;
        case StoredValue::Kind::Real:
            out += " AS REAL)";
            return;
        case StoredValue::Kind::Text:
            out += " AS TEXT)";
            return;
        default:
            out += " AS BLOB)";
            return;
    }
}

void SqliteDialect::appendAnyIsKind(std::string& out, std::string_view column, StoredValue::Kind kind) const {
    out += "typeof(";
    out += column;
    switch (kind) {
        case StoredValue::Kind::Integer:
            out += ") = 'integer'";
            return;
        case StoredValue::Kind::Real:
            out += ") = 'real'";
            return;
        case StoredValue::Kind::Text:
            out += ") = 'text'";
            return;
        default:
            out += ") = 'blob'";
            return;
    }
}

void SqliteDialect::appendAnyValue(std::string& out, std::string_view column, StoredValue::Kind kind) const {
    if (kind == StoredValue::Kind::Text) {
        appendTextAsBytes(out, column);
        return;
    }
    out += column;
}

void SqliteDialect::appendTextAsBytes(std::string& out, std::string_view text) const {
    out += "CAST(";
    out += text;
    out += " AS BLOB)";
}

void SqliteDialect::appendTruncated(std::string& out, std::string_view real) const {
    out += "CAST(CAST(";
    out += real;
    out += " AS INTEGER) AS REAL)";
}

void SqliteDialect::appendAsInteger(std::string& out, std::string_view integralReal) const {
    out += "CAST(";
    out += integralReal;
    out += " AS INTEGER)";
}

}  // namespace host
