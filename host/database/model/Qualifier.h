#pragma once

// Qualifier: the host's qualifier text, compiled for one entity with its bindings into SQL
// with bound parameters and, for the same meaning, an in-memory test of objects (used for a
// context's unsaved objects). Values are never pasted into the SQL text.
//
// Language (keywords in any letter case):
//   expr       := or
//   or         := and ( (OR | ||) and )*
//   and        := not ( (AND | &&) not )*
//   not        := (NOT | !) not | '(' expr ')' | comparison
//   comparison := operand ( == | = | != | <> | < | > | <= | >= ) operand
//              |  operand IN ( $variable | '{' operand, ... '}' )
//   operand    := attribute | $variable | number | 'text' | "text" | nil | NULL | YES | NO | TRUE | FALSE
// Texts take \' \" and \\ escapes. A $variable must be in the bindings; its value may be a
// text, number, boolean or nil, and for IN an array of those.
//
// Meaning (two-valued, as the host's qualifiers; SQL NULL never leaks):
//   ==, =      equal; nil equals only nil
//   !=, <>     not equal; nil differs from every value
//   < > <= >=  ordered comparison; false when either side has no value
//   IN         equal to one of the list's values; false for an empty list or no value
// Values compare exactly as SQLite compares them, so an object matches alike before and after
// it is saved: NULL < numbers < texts < blobs; numbers by their exact value (an integer and a
// real are not rounded to a common type first, so 9007199254740993 != 9007199254740992.0;
// booleans are 0 and 1); texts bytewise and case-sensitively. A real that is not a number
// (NaN) is stored as NULL and so counts as no value. Every store gives the same answer: for an
// engine that compares only like types (PostgreSQL) each comparison is written for its
// operands' types (see SqlDialect::comparesLikeTypesOnly), an attribute of any type once for
// each kind of value it may hold.
//
// Limits, checked by compile() with an error that names them:
//   - nesting: at most kMaxNesting levels of parentheses and NOT together (`!!x` is two);
//     deeper text is refused, so neither the parser nor SQLite's own parser runs out of stack.
//   - comparisons (and IN tests) with a constant or $variable: at most
//     kMaxComparisonsWithValues, since SQLite's time to prepare grows with their square;
//     comparisons of attributes with attributes do not count.
//   - values (constants, bound values, IN list members): at most kMaxValues, the number of
//     parameters every SQLite build accepts.
//   - what SQLite can parse: nesting at the limit combined with very long chains at several
//     levels can still be refused as "too complex for the database".
// AND/OR chains of any length are one level: they are evaluated in a loop and written to SQL
// in groups of a few terms, so the SQL stays shallow enough for SQLite to prepare.
//
// Errors name the position (1-based character) and what was expected, e.g.
//   qualifier "name == " at character 8: expected a value after '==', found the end

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/database/model/EntityDescription.h"
#include "host/database/sqlite/Statement.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace host {

class SqlDialect;

class Qualifier {
public:
    struct Node;

    static constexpr int kMaxNesting = 16;
    static constexpr size_t kMaxComparisonsWithValues = 1000;
    static constexpr size_t kMaxValues = 32766;

    // Compiled for SQLite, or for the store whose dialect is given.
    static platform::Result<Qualifier> compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings);
    static platform::Result<Qualifier> compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings,
                                               const SqlDialect& dialect);

    // The WHERE condition (the dialect's true condition for an empty qualifier) and its
    // parameters in order, numbered from 1: a statement binds them before any of its own. A
    // dialect that binds IN lists as arrays gets one List parameter per such list.
    const std::string& sql() const { return m_sql; }
    const std::vector<StoredValue>& parameters() const { return m_parameters; }
    // Binds the parameters to a SQLite statement (SQLite dialect).
    void bindParameters(Statement& statement) const;

    // The same test on attribute values in the entity's attribute order.
    bool matches(const std::vector<platform::Value>& values) const;

private:
    Qualifier() = default;
    std::shared_ptr<const Node> m_root;  // null: matches everything
    const EntityDescription* m_entity = nullptr;
    std::string m_sql = "1";
    std::vector<StoredValue> m_parameters;
};

}  // namespace host
