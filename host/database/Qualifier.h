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
// Values compare as SQLite orders them: numbers numerically (booleans are 0 and 1), texts
// bytewise and case-sensitively, and a number never equals a text.
//
// Errors name the position (1-based character) and what was expected, e.g.
//   qualifier "name == " at character 8: expected a value after '==', found the end

#include "host/database/EntityDescription.h"
#include "host/database/Statement.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Qualifier {
public:
    struct Node;

    static platform::Result<Qualifier> compile(const EntityDescription& entity, std::string_view text,
                                               const platform::Dictionary& bindings);

    // The WHERE condition ("1" for an empty qualifier) and its parameters in order.
    const std::string& sql() const { return m_sql; }
    const std::vector<StoredValue>& parameters() const { return m_parameters; }
    void bindParameters(Statement& statement, int firstIndex = 1) const;

    // The same test on attribute values in the entity's attribute order.
    bool matches(const std::vector<platform::Value>& values) const;

private:
    Qualifier() = default;
    std::shared_ptr<const Node> m_root;  // null: matches everything
    const EntityDescription* m_entity = nullptr;
    std::string m_sql;
    std::vector<StoredValue> m_parameters;
};

}  // namespace host
