#pragma once

// SqlDialect: how one store's SQL engine spells the pieces the qualifier compiler writes.
// The compiler decides the meaning (two-valued logic, see Qualifier.h); a dialect only says how
// the engine writes it. Every piece appends to `out`, so a condition is built in one string.
//
// Parameters are numbered from 1 in the order the compiler hands them out; a dialect writes the
// n-th one wherever it is asked to (SQLite "?", PostgreSQL "$n"). A store's own statements that
// bind more parameters after a condition number them after the condition's.

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

class SqlDialect {
public:
    virtual ~SqlDialect() = default;

    // The n-th parameter (1-based).
    virtual void appendPlaceholder(std::string& out, size_t n) const = 0;
    // The condition that is always true / always false.
    virtual std::string_view trueCondition() const = 0;
    virtual std::string_view falseCondition() const = 0;
    // Null-safe equality and inequality placed between two operands: true or false, never NULL
    // (nil equals only nil).
    virtual std::string_view nullSafeEqual() const = 0;
    virtual std::string_view nullSafeNotEqual() const = 0;
    // Suffix that turns a condition which may be NULL into a strict true/false test that is
    // true only where the condition is true: "(cond) IS 1" / "(cond) IS TRUE".
    virtual std::string_view isTrueSuffix() const = 0;
    // Whether an IN list of values only is bound as one array parameter (true: the compiler
    // hands out one List parameter and calls appendInArray) or as one parameter per member.
    virtual bool bindsListsAsArrays() const = 0;
    // `operand` equal to one member of the array bound as parameter n (PostgreSQL "= ANY($n)").
    // Only called when bindsListsAsArrays().
    virtual void appendInArray(std::string& out, std::string_view operand, size_t n) const = 0;
    // Case-insensitive match of `operand` against the LIKE pattern in parameter n, with '\'
    // escaping % and _ (ASCII letters fold; other bytes compare as they are).
    virtual void appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const = 0;
    // An identifier quoted for this engine.
    virtual void appendQuotedIdentifier(std::string& out, std::string_view name) const = 0;
};

}  // namespace host
