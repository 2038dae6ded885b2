#pragma once

// PostgresDialect: PostgreSQL's spelling of qualifier SQL: "$n" parameters, TRUE/FALSE,
// IS [NOT] DISTINCT FROM as null-safe comparisons, IN lists bound as one array ("= ANY($n)", so
// a list of any length is one parameter and one plan), and LIKE on both sides lower-cased in
// the "C" collation, which folds ASCII letters only, as SQLite's LIKE does.

#include "host/database/store/SqlDialect.h"

namespace host {

class PostgresDialect final : public SqlDialect {
public:
    static const PostgresDialect& shared();

    void appendPlaceholder(std::string& out, size_t n) const override;
    std::string_view trueCondition() const override { return "TRUE"; }
    std::string_view falseCondition() const override { return "FALSE"; }
    std::string_view nullSafeEqual() const override { return " IS NOT DISTINCT FROM "; }
    std::string_view nullSafeNotEqual() const override { return " IS DISTINCT FROM "; }
    std::string_view isTrueSuffix() const override { return " IS TRUE"; }
    bool bindsListsAsArrays() const override { return true; }
    void appendInArray(std::string& out, std::string_view operand, size_t n,
                       StoredValue::Kind element) const override;
    void appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const override;
    void appendQuotedIdentifier(std::string& out, std::string_view name) const override;
    bool comparesLikeTypesOnly() const override { return true; }
    void appendTypedPlaceholder(std::string& out, size_t n, StoredValue::Kind kind,
                                bool array) const override;
    void appendAnyIsKind(std::string& out, std::string_view column, StoredValue::Kind kind) const override;
    void appendAnyValue(std::string& out, std::string_view column, StoredValue::Kind kind) const override;
    void appendTextAsBytes(std::string& out, std::string_view text) const override;
    void appendTruncated(std::string& out, std::string_view real) const override;
    void appendAsInteger(std::string& out, std::string_view integralReal) const override;
};

}  // namespace host
