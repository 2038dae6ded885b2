#pragma once

// Qualifier::Node: a compiled qualifier as a tree. The parser builds it; the SQL writer and the
// in-memory evaluator both walk it, which is why its shape has a header of its own.

#include <cstddef>
#include <vector>

#include "host/database/model/Qualifier.h"
#include "host/database/store/StoredValue.h"

namespace host {

struct Qualifier::Node {
    enum class Kind { And, Or, Not, Compare, In };
    enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };
    // An attribute (by its slot in the entity's attribute order) or a constant.
    struct Operand {
        bool isAttribute = false;
        size_t slot = 0;
        StoredValue constant;
    };

    Kind kind = Kind::Compare;
    CompareOp op = CompareOp::Equal;
    // And/Or: the terms of the whole chain (a long chain is one node, not a deep tree);
    // Not: the one negated term.
    std::vector<Node> terms;
    Operand a, b;
    std::vector<Operand> list;
};

}  // namespace host
