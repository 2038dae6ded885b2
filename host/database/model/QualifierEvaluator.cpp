#include "host/database/model/QualifierEvaluator.h"

#include <cmath>

namespace host {

QualifierEvaluator::QualifierEvaluator(const EntityDescription& entity,
                                       const std::vector<platform::Value>& values)
    : m_entity(entity), m_values(values) {}

// SQLite's comparison of an integer with a real (sqlite3IntFloatCompare without long double):
// exact, so 2^53 + 1 is greater than 2^53 as a real although both convert to the same double.
int QualifierEvaluator::compareIntegerWithReal(int64_t i, double r) {
    if (r < -9223372036854775808.0) return 1;
    if (r >= 9223372036854775808.0) return -1;
    auto truncated = static_cast<int64_t>(r);
    if (i != truncated) return i < truncated ? -1 : 1;
    auto converted = static_cast<double>(i);  // exact here: i is r without its fraction
    return converted < r ? -1 : (converted > r ? 1 : 0);
}

int QualifierEvaluator::rank(K kind) {
    switch (kind) {
        case K::Integer:
        case K::Real:
            return 1;
        case K::Text:
            return 2;
        case K::Blob:
            return 3;
        default:
            return 0;  // NULL; a List is a parameter only, never compared
    }
}

bool QualifierEvaluator::holds(CompareOp op, int order) {
    switch (op) {
        case CompareOp::Equal:
            return order == 0;
        case CompareOp::NotEqual:
            return order != 0;
        case CompareOp::Less:
            return order < 0;
        case CompareOp::Greater:
            return order > 0;
        case CompareOp::LessEqual:
            return order <= 0;
        case CompareOp::GreaterEqual:
            return order >= 0;
    }
    return false;
}

// SQLite's ordering of values without column affinity: NULL < numbers < text < blob.
int QualifierEvaluator::compare(const StoredValue& a, const StoredValue& b) {
    const int ra = rank(a.kind), rb = rank(b.kind);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 0) return 0;
    if (ra == 1) {
        if (a.kind == K::Integer && b.kind == K::Integer)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        if (a.kind == K::Real && b.kind == K::Real) return a.real < b.real ? -1 : (a.real > b.real ? 1 : 0);
        if (a.kind == K::Integer) return compareIntegerWithReal(a.integer, b.real);
        return -compareIntegerWithReal(b.integer, a.real);
    }
    int c = a.bytes.compare(b.bytes);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

StoredValue QualifierEvaluator::valueOf(const Node::Operand& o) const {
    if (!o.isAttribute) return o.constant;
    StoredValue stored = storedAttributeValue(m_entity.attributes[o.slot].type, m_values[o.slot]);
    if (stored.kind == StoredValue::Kind::Real && std::isnan(stored.real)) return StoredValue::null();
    return stored;
}

// Recursion only follows nesting, which compile() bounds; chains are a loop.
bool QualifierEvaluator::matches(const Node& node) const {
    switch (node.kind) {
        case Node::Kind::And:
            for (const auto& term : node.terms)
                if (!matches(term)) return false;
            return true;
        case Node::Kind::Or:
            for (const auto& term : node.terms)
                if (matches(term)) return true;
            return false;
        case Node::Kind::Not:
            return !matches(node.terms.front());
        case Node::Kind::In: {
            StoredValue a = valueOf(node.a);
            if (a.kind == K::Null) return false;
            for (const auto& element : node.list) {
                StoredValue b = valueOf(element);
                if (b.kind != K::Null && compare(a, b) == 0) return true;
            }
            return false;
        }
        case Node::Kind::Compare: {
            StoredValue a = valueOf(node.a);
            StoredValue b = valueOf(node.b);
            const bool ordered = node.op != CompareOp::Equal && node.op != CompareOp::NotEqual;
            if (ordered && (a.kind == K::Null || b.kind == K::Null)) return false;
            return holds(node.op, compare(a, b));
        }
    }
    return false;
}

}  // namespace host
