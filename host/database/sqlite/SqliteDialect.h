#pragma once

// SqliteDialect: SQLite's spelling of qualifier SQL: "?" parameters, 1/0 for true/false, IS and
// IS NOT as null-safe comparisons, IN lists written member by member (SQLite has no array
// parameter), LIKE (which folds ASCII letters by default) for case-insensitive matches.

#include "host/database/store/SqlDialect.h"

namespace host {

class SqliteDialect final : public SqlDialect {
public:
    static const SqliteDialect& shared();

    void appendPlaceholder(std::string& out, size_t n) const override;
    std::string_view trueCondition() const override { return "1"; }
    std::string_view falseCondition() const override { return "0"; }
    std::string_view nullSafeEqual() const override { return " IS "; }
    std::string_view nullSafeNotEqual() const override { return " IS NOT "; }
    std::string_view isTrueSuffix() const override { return " IS 1"; }
    bool bindsListsAsArrays() const override { return false; }
    void appendInArray(std::string& out, std::string_view operand, size_t n,
                       StoredValue::Kind element) const override;
    void appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const override;
    void appendQuotedIdentifier(std::string& out, std::string_view name) const override;
    bool comparesLikeTypesOnly() const override { return false; }
    void appendTypedPlaceholder(std::string& out, size_t n, StoredValue::Kind kind,
                                bool array) const override;
    void appendAnyIsKind(std::string& out, std::string_view column, StoredValue::Kind kind) const override;
    void appendAnyValue(std::string& out, std::string_view column, StoredValue::Kind kind) const override;
    void appendTextAsBytes(std::string& out, std::string_view text) const override;
    void appendTruncated(std::string& out, std::string_view real) const override;
    void appendAsInteger(std::string& out, std::string_view integralReal) const override;
};

}  // namespace host
