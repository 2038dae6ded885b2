#include "host/database/SqliteDialect.h"

#include "host/database/SqlText.h"

namespace host {

const SqliteDialect& SqliteDialect::shared() {
    static const SqliteDialect dialect;
    return dialect;
}

void SqliteDialect::appendPlaceholder(std::string& out, size_t /*n*/) const {
    out += '?';  // numbered by position, which is the order the compiler hands them out
}

void SqliteDialect::appendInArray(std::string& out, std::string_view operand, size_t n) const {
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

}  // namespace host
