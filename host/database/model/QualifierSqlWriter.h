#pragma once

// QualifierSqlWriter: writes a qualifier's tree as one SQL condition for a dialect, with its
// values as bound parameters, and counts what Qualifier::compile() limits.
//
// Under a NOT every part yields 0 or 1, never NULL, so NOT keeps the two-valued meaning.
// Outside any NOT an IN test or ordered comparison is written plainly (so SQLite can search an
// index with it): there NULL filters a row out exactly as 0 would, since AND and OR of NULL
// never give true where false would not. A chain longer than kGroup terms is written as nested
// groups of at most kGroup terms: SQLite parses "a AND b AND ..." into a tree as deep as the
// chain and refuses more than 1000 levels, and its parser stack holds about 30 nested
// parentheses. kMaxSqlDepth keeps every written condition within both, with room to spare
// (tested against SQLite with the deepest shapes the limits allow).
//
// For an engine that compares like types only (SqlDialect::comparesLikeTypesOnly) each
// comparison is written once for each pair of kinds its operands may hold, so that it gives
// SQLite's answer (see Qualifier.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/database/model/EntityDescription.h"
#include "host/database/model/QualifierNode.h"
#include "host/database/store/SqlDialect.h"
#include "host/database/store/StoredValue.h"

namespace host {

class QualifierSqlWriter {
public:
    static constexpr size_t kGroup = 16;
    static constexpr int kMaxSqlDepth = 22;

    // Parameters are appended to `parameters`, numbered on from its size.
    QualifierSqlWriter(const EntityDescription& entity, const SqlDialect& dialect,
                       std::vector<StoredValue>& parameters);

    std::string sql;
    int deepest = 0;

    size_t comparisonsWithValues = 0;
    size_t values = 0;  // constants and list members, however they are bound

    void write(const Qualifier::Node& node, int depth);

private:
    using Node = Qualifier::Node;
    using CompareOp = Node::CompareOp;
    using Operand = Node::Operand;
    using K = StoredValue::Kind;

    struct Condition;
    struct Form;
    struct Typed;

    static Condition anyOf(const std::vector<Condition>& parts);
    static Condition guarded(const std::string& guard, Condition inner);

    Typed typed(const Operand& o);
    std::string bound(StoredValue value, K kind);
    std::string real(double r);
    std::string integer(int64_t i);
    Condition integerAgainstReal(const std::string& x, CompareOp op, double r);
    Condition realAgainstInteger(const std::string& d, CompareOp op, int64_t i);
    Condition integerAgainstRealColumn(const std::string& x, CompareOp op, const std::string& d);
    Condition formsCompare(CompareOp op, const Form& a, const Form& b);
    Condition valuesCompare(CompareOp op, const Typed& a, const Typed& b);
    Condition typedCompare(CompareOp op, const Operand& operandA, const Operand& operandB);
    Condition typedIn(const Node& node);
    void writeTyped(const Condition& condition);

    void writeTerms(const std::vector<Node>& terms, size_t lo, size_t hi, const char* joiner, int depth);
    void operand(const Operand& o);
    void operandInto(std::string& out, const Operand& o);

    const EntityDescription& m_entity;
    const SqlDialect& m_dialect;
    std::vector<StoredValue>& m_parameters;
    int m_negations = 0;  // NOTs around the part being written
};

}  // namespace host
