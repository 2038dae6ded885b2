#pragma once

// QualifierEvaluator: a qualifier's tree tested in memory against one object's attribute values
// (a context's unsaved objects). Values compare as SQLite compares them, so an object matches
// alike before and after it is saved; the SQL writer folds constants by the same order.

#include <cstdint>
#include <vector>

#include "host/database/model/EntityDescription.h"
#include "host/database/model/QualifierNode.h"
#include "host/database/store/StoredValue.h"
#include "platform/foundation/Value.h"

namespace host {

class QualifierEvaluator {
public:
    // `values` in the entity's attribute order.
    QualifierEvaluator(const EntityDescription& entity, const std::vector<platform::Value>& values);

    bool matches(const Qualifier::Node& node) const;

    // SQLite's order: negative, 0 or positive as a is below, equal to or above b.
    static int compare(const StoredValue& a, const StoredValue& b);
    static int compareIntegerWithReal(int64_t i, double r);
    // Where a kind stands in that order: 0 for NULL, 1 for numbers, 2 for texts, 3 for blobs.
    static int rank(StoredValue::Kind kind);
    // Whether `op` holds for an order that compare() gave.
    static bool holds(Qualifier::Node::CompareOp op, int order);

private:
    using Node = Qualifier::Node;
    using CompareOp = Node::CompareOp;
    using K = StoredValue::Kind;

    StoredValue valueOf(const Node::Operand& o) const;

    const EntityDescription& m_entity;
    const std::vector<platform::Value>& m_values;
};

}  // namespace host
