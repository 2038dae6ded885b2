#pragma once

// SqlText: pieces of SQL text that the host writes itself. Only identifiers (table and column
// names from the entity catalog) are ever written into SQL; values are always bound.

#include <string>
#include <string_view>

namespace host {

class SqlText {
public:
    // The identifier in double quotes, any double quote inside doubled, as SQLite reads it:
    // "name", "a""b". A keyword, a space or a non-ASCII character stays part of the name.
    static std::string quotedIdentifier(std::string_view name);
    // The same appended to out.
    static void appendQuotedIdentifier(std::string& out, std::string_view name);
};

}  // namespace host
