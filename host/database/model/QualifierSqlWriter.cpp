#include "host/database/model/QualifierSqlWriter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "host/database/model/QualifierEvaluator.h"
#include "platform/foundation/UTF8.h"

namespace host {

namespace {

using CompareOp = Qualifier::Node::CompareOp;
using K = StoredValue::Kind;

// Whether a strictly typed engine takes the bytes as text: UTF-8 without NUL, overlong forms,
// surrogates or code points past U+10FFFF (PostgreSQL refuses a text parameter otherwise).
bool takenAsText(std::string_view bytes) {
    return bytes.find('\0') == std::string_view::npos && platform::UTF8::isValid(bytes);
}

CompareOp mirrored(CompareOp op) {
    switch (op) {
        case CompareOp::Less:
            return CompareOp::Greater;
        case CompareOp::Greater:
            return CompareOp::Less;
        case CompareOp::LessEqual:
            return CompareOp::GreaterEqual;
        case CompareOp::GreaterEqual:
            return CompareOp::LessEqual;
        default:
            return op;
    }
}

const char* symbol(CompareOp op) {
    switch (op) {
        case CompareOp::Equal:
            return " = ";
        case CompareOp::NotEqual:
            return " <> ";
        case CompareOp::Less:
            return " < ";
        case CompareOp::Greater:
            return " > ";
        case CompareOp::LessEqual:
            return " <= ";
        case CompareOp::GreaterEqual:
            return " >= ";
    }
    return " = ";
}

std::string both(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + " AND " + b;
}

// The members of an IN list that can equal a value of `kind`, as that kind.
std::vector<StoredValue> membersAs(K kind, const std::vector<const StoredValue*>& members) {
    std::vector<StoredValue> out;
    for (const StoredValue* member : members) {
        if (member->kind == kind) {
            // A text the engine would not take as text equals no text it holds.
            if (kind != K::Text || takenAsText(member->bytes)) out.push_back(*member);
        } else if (kind == K::Integer && member->kind == K::Real) {
            const double r = member->real;
            if (r >= -9223372036854775808.0 && r < 9223372036854775808.0 && std::floor(r) == r)
                out.push_back(StoredValue::fromInteger(static_cast<int64_t>(r)));
        } else if (kind == K::Real && member->kind == K::Integer) {
            const double r = static_cast<double>(member->integer);
            if (QualifierEvaluator::compareIntegerWithReal(member->integer, r) == 0)
                out.push_back(StoredValue::fromReal(r));
        } else if (kind == K::Blob && member->kind == K::Text) {
            out.push_back(StoredValue::fromBlob(member->bytes));
        }
    }
    return out;
}

}  // namespace

// A condition for an engine that compares like types only: its SQL, or a truth known now.
struct QualifierSqlWriter::Condition {
    std::optional<bool> known;
    std::string sql;  // when !known; may be NULL where the meaning is false
    static Condition always(bool truth) { return {truth, {}}; }
    static Condition of(std::string text) { return {std::nullopt, std::move(text)}; }
};

// One kind of value an operand can have: where `guard` holds (empty: wherever it has a
// value), its value is of `kind`, spelled `sql` (empty for a constant, bound where used).
// `present` is the condition that it has a value at all in this form.
struct QualifierSqlWriter::Form {
    K kind = K::Null;
    std::string sql;
    std::string guard;
    std::string present;
    const StoredValue* constant = nullptr;
    bool bytes = false;  // a text spelled as bytes (from an attribute of any type)
};
struct QualifierSqlWriter::Typed {
    std::vector<Form> forms;  // none: the operand is nil
    std::string isNull;       // empty: a constant (never or always nil)
};

QualifierSqlWriter::QualifierSqlWriter(const EntityDescription& entity, const SqlDialect& dialect,
                                       std::vector<StoredValue>& parameters)
    : m_entity(entity), m_dialect(dialect), m_parameters(parameters) {}

void QualifierSqlWriter::write(const Node& node, int depth) {
    deepest = std::max(deepest, depth);
    if (node.kind == Node::Kind::Compare || node.kind == Node::Kind::In) {
        bool withValue = !node.a.isAttribute || (node.kind == Node::Kind::Compare && !node.b.isAttribute);
        for (const auto& element : node.list) withValue = withValue || !element.isAttribute;
        if (withValue) ++comparisonsWithValues;
    }
    switch (node.kind) {
        case Node::Kind::And:
            writeTerms(node.terms, 0, node.terms.size(), " AND ", depth);
            return;
        case Node::Kind::Or:
            writeTerms(node.terms, 0, node.terms.size(), " OR ", depth);
            return;
        case Node::Kind::Not:
            sql += "(NOT ";
            ++m_negations;
            write(node.terms.front(), depth + 1);
            --m_negations;
            sql += ")";
            return;
        case Node::Kind::In:
            if (node.list.empty()) {
                sql += m_dialect.falseCondition();
                return;
            }
            if (m_dialect.comparesLikeTypesOnly()) {
                writeTyped(typedIn(node));
                return;
            }
            sql += m_negations ? "((" : "(";
            if (m_dialect.bindsListsAsArrays() &&
                std::none_of(node.list.begin(), node.list.end(),
                             [](const Operand& o) { return o.isAttribute; })) {
                std::string left;
                operandInto(left, node.a);
                std::vector<StoredValue> members;
                members.reserve(node.list.size());
                for (const auto& element : node.list) members.push_back(element.constant);
                values += members.size();
                m_parameters.push_back(StoredValue::fromList(std::move(members)));
                m_dialect.appendInArray(sql, left, m_parameters.size(), StoredValue::Kind::Null);
                sql += ")";
            } else {
                operand(node.a);
                sql += " IN (";
                for (size_t i = 0; i < node.list.size(); ++i) {
                    if (i) sql += ", ";
                    operand(node.list[i]);
                }
                sql += "))";
            }
            if (m_negations) {
                sql += m_dialect.isTrueSuffix();
                sql += ")";
            }
            return;
        case Node::Kind::Compare: {
            if (m_dialect.comparesLikeTypesOnly()) {
                writeTyped(typedCompare(node.op, node.a, node.b));
                return;
            }
            const bool ordered = m_negations && node.op != CompareOp::Equal && node.op != CompareOp::NotEqual;
            sql += ordered ? "((" : "(";
            operand(node.a);
            switch (node.op) {
                case CompareOp::Equal:
                    sql += m_dialect.nullSafeEqual();
                    break;
                case CompareOp::NotEqual:
                    sql += m_dialect.nullSafeNotEqual();
                    break;
                case CompareOp::Less:
                    sql += " < ";
                    break;
                case CompareOp::Greater:
                    sql += " > ";
                    break;
                case CompareOp::LessEqual:
                    sql += " <= ";
                    break;
                case CompareOp::GreaterEqual:
                    sql += " >= ";
                    break;
            }
            operand(node.b);
            sql += ")";
            if (ordered) {
                sql += m_dialect.isTrueSuffix();
                sql += ")";
            }
            return;
        }
    }
}

QualifierSqlWriter::Condition QualifierSqlWriter::anyOf(const std::vector<Condition>& parts) {
    std::string text;
    for (const auto& part : parts) {
        if (part.known) {
            if (*part.known) return Condition::always(true);
            continue;
        }
        text += text.empty() ? "(" : " OR (";
        text += part.sql;
        text += ")";
    }
    return text.empty() ? Condition::always(false) : Condition::of(text);
}

// The inner condition where the guard holds: a CASE, since the engine may evaluate the
// parts of an AND in any order, and the inner part may read the value as the guarded kind.
QualifierSqlWriter::Condition QualifierSqlWriter::guarded(const std::string& guard, Condition inner) {
    if (guard.empty() || (inner.known && !*inner.known)) return inner;
    if (inner.known) return Condition::of(guard);
    return Condition::of("CASE WHEN " + guard + " THEN (" + inner.sql + ") ELSE FALSE END");
}

QualifierSqlWriter::Typed QualifierSqlWriter::typed(const Operand& o) {
    Typed result;
    if (!o.isAttribute) {
        ++values;
        if (o.constant.kind != K::Null) result.forms.push_back({o.constant.kind, {}, {}, {}, &o.constant});
        return result;
    }
    const auto& attribute = m_entity.attributes[o.slot];
    std::string column;
    m_dialect.appendQuotedIdentifier(column, attribute.name);
    result.isNull = column + " IS NULL";
    switch (attribute.type) {
        case AttributeType::Text:
            result.forms.push_back({K::Text, column, {}, column + " IS NOT NULL"});
            break;
        case AttributeType::Integer:
        case AttributeType::Boolean:
            result.forms.push_back({K::Integer, column, {}, column + " IS NOT NULL"});
            break;
        case AttributeType::Real:
            result.forms.push_back({K::Real, column, {}, column + " IS NOT NULL"});
            break;
        case AttributeType::Any:
            for (K kind : {K::Integer, K::Real, K::Text, K::Blob}) {
                Form form;
                form.kind = kind;
                m_dialect.appendAnyValue(form.sql, column, kind);
                m_dialect.appendAnyIsKind(form.guard, column, kind);
                form.present = form.guard;
                form.bytes = kind == K::Text;
                result.forms.push_back(std::move(form));
            }
            break;
    }
    return result;
}

// The value bound as a parameter read as `kind`.
std::string QualifierSqlWriter::bound(StoredValue value, K kind) {
    std::string out;
    if (kind == K::Blob && value.kind == K::Text) value = StoredValue::fromBlob(std::move(value.bytes));
    m_parameters.push_back(std::move(value));
    m_dialect.appendTypedPlaceholder(out, m_parameters.size(), kind, false);
    return out;
}

std::string QualifierSqlWriter::real(double r) {
    return bound(StoredValue::fromReal(r), K::Real);
}

std::string QualifierSqlWriter::integer(int64_t i) {
    return bound(StoredValue::fromInteger(i), K::Integer);
}

// An integer expression against a constant real, exactly: the real's neighbouring integers
// decide, so no integer is ever rounded to a real.
QualifierSqlWriter::Condition QualifierSqlWriter::integerAgainstReal(const std::string& x, CompareOp op,
                                                                     double r) {
    // Beyond the integers (infinities too) the real's side decides for every integer.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0)
        return QualifierEvaluator::holds(op, r > 0 ? -1 : 1) ? Condition::of(x + " IS NOT NULL")
                                                             : Condition::always(false);
    const double floor = std::floor(r);
    const auto below = static_cast<int64_t>(floor);
    if (floor == r) return Condition::of(x + symbol(op) + integer(below));
    switch (op) {
        case CompareOp::Equal:
            return Condition::always(false);
        case CompareOp::NotEqual:
            return Condition::of(x + " IS NOT NULL");
        case CompareOp::Less:
        case CompareOp::LessEqual:
            return Condition::of(x + " <= " + integer(below));
        default:
            return Condition::of(x + " >= " + integer(below + 1));  // floor < 2^63 - 1 here
    }
}

// A real expression against a constant integer, exactly: against the integer itself when a
// real can hold it, else against the reals on either side of it.
QualifierSqlWriter::Condition QualifierSqlWriter::realAgainstInteger(const std::string& d, CompareOp op,
                                                                     int64_t i) {
    const double nearest = static_cast<double>(i);
    const int order = QualifierEvaluator::compareIntegerWithReal(i, nearest);
    if (order == 0) return Condition::of(d + symbol(op) + real(nearest));
    const double lower = order > 0 ? nearest : std::nextafter(nearest, -HUGE_VAL);
    const double upper = order > 0 ? std::nextafter(nearest, HUGE_VAL) : nearest;
    switch (op) {
        case CompareOp::Equal:
            return Condition::always(false);
        case CompareOp::NotEqual:
            return Condition::of(d + " IS NOT NULL");
        case CompareOp::Less:
        case CompareOp::LessEqual:
            return Condition::of(d + " <= " + real(lower));
        default:
            return Condition::of(d + " >= " + real(upper));
    }
}

// Two expressions, an integer and a real, exactly: the integer against the real's integer
// part, the real's fraction breaking a tie. Reals beyond the integers decide by their sign.
QualifierSqlWriter::Condition QualifierSqlWriter::integerAgainstRealColumn(const std::string& x, CompareOp op,
                                                                           const std::string& d) {
    std::string truncated, part;
    m_dialect.appendTruncated(truncated, d);
    m_dialect.appendAsInteger(part, truncated);
    std::string exact;
    switch (op) {
        case CompareOp::Equal:
        case CompareOp::NotEqual:
            exact = x + " = " + part + " AND " + d + " = " + truncated;
            if (op == CompareOp::NotEqual) exact = "NOT (" + exact + ")";
            break;
        case CompareOp::Less:
            exact = x + " < " + part + " OR (" + x + " = " + part + " AND " + d + " > " + truncated + ")";
            break;
        case CompareOp::LessEqual:
            exact = x + " < " + part + " OR (" + x + " = " + part + " AND " + d + " >= " + truncated + ")";
            break;
        case CompareOp::Greater:
            exact = x + " > " + part + " OR (" + x + " = " + part + " AND " + d + " < " + truncated + ")";
            break;
        case CompareOp::GreaterEqual:
            exact = x + " > " + part + " OR (" + x + " = " + part + " AND " + d + " <= " + truncated + ")";
            break;
    }
    return Condition::of(fmt::format(
        "{} IS NOT NULL AND {} IS NOT NULL AND CASE WHEN {} >= CAST(9223372036854775808 AS double "
        "precision) "
        "THEN {} WHEN {} < CAST(-9223372036854775808 AS double precision) THEN {} ELSE ({}) END",
        x, d, d, QualifierEvaluator::holds(op, -1) ? "TRUE" : "FALSE", d,
        QualifierEvaluator::holds(op, 1) ? "TRUE" : "FALSE", exact));
}

// a op b for one form of each, both having values.
QualifierSqlWriter::Condition QualifierSqlWriter::formsCompare(CompareOp op, const Form& a, const Form& b) {
    const int rankA = QualifierEvaluator::rank(a.kind), rankB = QualifierEvaluator::rank(b.kind);
    if (rankA != rankB)
        return QualifierEvaluator::holds(op, rankA < rankB ? -1 : 1)
                   ? guarded(both(a.present, b.present), Condition::always(true))
                   : Condition::always(false);
    if (a.constant && b.constant)
        return Condition::always(
            QualifierEvaluator::holds(op, QualifierEvaluator::compare(*a.constant, *b.constant)));
    Condition compared;
    if (a.kind != b.kind && (a.kind == K::Integer || a.kind == K::Real)) {
        const Form& i = a.kind == K::Integer ? a : b;
        const Form& r = a.kind == K::Integer ? b : a;
        const CompareOp fromInteger = a.kind == K::Integer ? op : mirrored(op);
        if (r.constant)
            compared = integerAgainstReal(i.sql, fromInteger, r.constant->real);
        else if (i.constant)
            compared = realAgainstInteger(r.sql, mirrored(fromInteger), i.constant->integer);
        else
            compared = integerAgainstRealColumn(i.sql, fromInteger, r.sql);
    } else {
        // One kind (texts and blobs both as bytes where either side is bytes).
        K as = a.kind;
        auto notText = [](const Form& form) {
            return form.constant && form.kind == K::Text && !takenAsText(form.constant->bytes);
        };
        const bool bytes = a.kind != b.kind || a.bytes || b.bytes || notText(a) || notText(b);
        if (bytes) as = K::Blob;
        auto side = [&](const Form& form) {
            if (form.constant) return bound(*form.constant, as);
            if (bytes && form.kind == K::Text && !form.bytes) {
                std::string out;
                m_dialect.appendTextAsBytes(out, form.sql);
                return out;
            }
            return form.sql;
        };
        std::string left = side(a);
        compared = Condition::of(left + symbol(op) + side(b));
    }
    return guarded(both(a.guard, b.guard), compared);
}

// Both have a value and a op b.
QualifierSqlWriter::Condition QualifierSqlWriter::valuesCompare(CompareOp op, const Typed& a,
                                                                const Typed& b) {
    std::vector<Condition> parts;
    for (const auto& formA : a.forms)
        for (const auto& formB : b.forms) parts.push_back(formsCompare(op, formA, formB));
    return anyOf(parts);
}

QualifierSqlWriter::Condition QualifierSqlWriter::typedCompare(CompareOp op, const Operand& operandA,
                                                               const Operand& operandB) {
    Typed a = typed(operandA), b = typed(operandB);
    const bool nilA = a.forms.empty(), nilB = b.forms.empty();
    if (op != CompareOp::Equal && op != CompareOp::NotEqual) {
        if (nilA || nilB) return Condition::always(false);
        return valuesCompare(op, a, b);
    }
    Condition equal;
    if (nilA && nilB) {
        equal = Condition::always(true);
    } else if (nilA || nilB) {
        const Typed& other = nilA ? b : a;
        equal = other.isNull.empty() ? Condition::always(false) : Condition::of(other.isNull);
    } else if (a.forms.size() == 1 && b.forms.size() == 1 && !a.isNull.empty() && !b.isNull.empty() &&
               a.forms[0].kind == b.forms[0].kind) {
        // Two columns of one type: the engine's own null-safe comparison.
        return Condition::of(
            a.forms[0].sql +
            std::string(op == CompareOp::Equal ? m_dialect.nullSafeEqual() : m_dialect.nullSafeNotEqual()) +
            b.forms[0].sql);
    } else {
        equal = valuesCompare(CompareOp::Equal, a, b);
        if (!a.isNull.empty() && !b.isNull.empty()) {
            Condition bothNil = Condition::of(a.isNull + " AND " + b.isNull);
            equal = anyOf({bothNil, equal});
        }
    }
    if (op == CompareOp::Equal) return equal;
    if (equal.known) return Condition::always(!*equal.known);
    return Condition::of("NOT ((" + equal.sql + ")" + std::string(m_dialect.isTrueSuffix()) + ")");
}

QualifierSqlWriter::Condition QualifierSqlWriter::typedIn(const Node& node) {
    std::vector<const StoredValue*> constants;
    std::vector<const Operand*> attributes;
    for (const auto& member : node.list) {
        if (member.isAttribute)
            attributes.push_back(&member);
        else if (member.constant.kind != K::Null)
            constants.push_back(&member.constant);
    }
    values += node.list.size() - attributes.size();
    Typed a = typed(node.a);
    if (a.forms.empty()) return Condition::always(false);
    std::vector<Condition> parts;
    if (!constants.empty()) {
        if (a.isNull.empty()) {
            for (const StoredValue* member : constants)
                if (QualifierEvaluator::compare(*a.forms[0].constant, *member) == 0)
                    return Condition::always(true);
        } else {
            for (const auto& form : a.forms) {
                const K as = form.bytes ? K::Blob : form.kind;
                auto members = membersAs(as, constants);
                if (members.empty()) continue;
                m_parameters.push_back(StoredValue::fromList(std::move(members)));
                std::string test;
                m_dialect.appendInArray(test, form.sql, m_parameters.size(), as);
                parts.push_back(guarded(form.guard, Condition::of(test)));
            }
        }
    }
    for (const Operand* member : attributes)
        parts.push_back(valuesCompare(CompareOp::Equal, a, typed(*member)));
    return anyOf(parts);
}

void QualifierSqlWriter::writeTyped(const Condition& condition) {
    if (condition.known) {
        sql += *condition.known ? m_dialect.trueCondition() : m_dialect.falseCondition();
        return;
    }
    sql += m_negations ? "((" : "(";
    sql += condition.sql;
    sql += ")";
    if (m_negations) {
        sql += m_dialect.isTrueSuffix();
        sql += ")";
    }
}

// Terms [lo, hi) of a chain: directly when they are few, else as at most kGroup groups.
void QualifierSqlWriter::writeTerms(const std::vector<Node>& terms, size_t lo, size_t hi, const char* joiner,
                                    int depth) {
    deepest = std::max(deepest, depth);
    size_t chunk = 1;
    while (hi - lo > chunk * kGroup) chunk *= kGroup;
    sql += "(";
    for (size_t start = lo; start < hi; start += chunk) {
        if (start > lo) sql += joiner;
        if (chunk == 1)
            write(terms[start], depth + 1);
        else
            writeTerms(terms, start, std::min(hi, start + chunk), joiner, depth + 1);
    }
    sql += ")";
}

void QualifierSqlWriter::operand(const Operand& o) {
    operandInto(sql, o);
}

void QualifierSqlWriter::operandInto(std::string& out, const Operand& o) {
    if (o.isAttribute) {
        m_dialect.appendQuotedIdentifier(out, m_entity.attributes[o.slot].name);
        return;
    }
    ++values;
    m_parameters.push_back(o.constant);
    m_dialect.appendPlaceholder(out, m_parameters.size());
}

}  // namespace host
