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

#include "host/database/store/StoredValue.h"

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
    // `operand` equal to one member of the array bound as parameter n (PostgreSQL "= ANY($n)"),
    // an array of `element` values (Null: of the operand's type). Only called when
    // bindsListsAsArrays().
    virtual void appendInArray(std::string& out, std::string_view operand, size_t n,
                               StoredValue::Kind element) const = 0;
    // Case-insensitive match of `operand` against the LIKE pattern in parameter n, with '\'
    // escaping % and _ (ASCII letters fold; other bytes compare as they are).
    virtual void appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const = 0;
    // An identifier quoted for this engine.
    virtual void appendQuotedIdentifier(std::string& out, std::string_view name) const = 0;

    // Whether the engine compares only values of one type (PostgreSQL refuses text against a
    // number). Then the compiler writes each comparison for its operands' types -- values of
    // different kinds decided by their order (numbers < texts < blobs), an integer against a
    // real compared exactly -- with the pieces below. Otherwise (SQLite, which orders values
    // of different kinds itself, as the in-memory test does) comparisons are written as they
    // stand and the pieces below are never asked for.
    virtual bool comparesLikeTypesOnly() const = 0;
    // Parameter n read as a value of the kind (Integer, Real, Text or Blob), or with `array` as
    // an array of such values.
    virtual void appendTypedPlaceholder(std::string& out, size_t n, StoredValue::Kind kind,
                                        bool array) const = 0;
    // For the column of an attribute of any type: the condition that its value is of the kind
    // (false for no value), and its value as that kind (Text and Blob as bytes).
    virtual void appendAnyIsKind(std::string& out, std::string_view column, StoredValue::Kind kind) const = 0;
    virtual void appendAnyValue(std::string& out, std::string_view column, StoredValue::Kind kind) const = 0;
    // A text as its UTF-8 bytes, compared bytewise as texts are.
    virtual void appendTextAsBytes(std::string& out, std::string_view text) const = 0;
    // A real without its fraction (toward zero), still a real; and that as an integer (only
    // asked for reals from -2^63 up to below 2^63).
    virtual void appendTruncated(std::string& out, std::string_view real) const = 0;
    virtual void appendAsInteger(std::string& out, std::string_view integralReal) const = 0;
};

}  // namespace host
