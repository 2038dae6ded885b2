#include "host/database/PostgresDialect.h"

#include <fmt/format.h>

#include "host/database/SqlText.h"

namespace host {

const PostgresDialect& PostgresDialect::shared() {
    static const PostgresDialect dialect;
    return dialect;
}

void PostgresDialect::appendPlaceholder(std::string& out, size_t n) const {
    fmt::format_to(std::back_inserter(out), "${}", n);
}

void PostgresDialect::appendInArray(std::string& out, std::string_view operand, size_t n) const {
    out += operand;
    out += " = ANY(";
    appendPlaceholder(out, n);
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

}  // namespace host
