#include "platform/ui/layout/LayoutExpression.h"

#include <cmath>
#include <unordered_map>

namespace platform {

LayoutExpression LayoutExpression::reduced() const {
    LayoutExpression result(m_constant);
    std::unordered_map<LayoutVariable, size_t> index;
    for (const Term& term : m_terms) {
        auto [it, fresh] = index.try_emplace(term.variable, result.m_terms.size());
        if (fresh)
            result.m_terms.push_back(term);
        else
            result.m_terms[it->second].coefficient += term.coefficient;
    }
    std::erase_if(result.m_terms, [](const Term& t) { return t.coefficient == 0.0; });
    return result;
}

double LayoutExpression::value() const {
    double sum = m_constant;
    for (const Term& term : m_terms) sum += term.coefficient * term.variable.value();
    return sum;
}

bool LayoutExpression::isFinite() const {
    if (!std::isfinite(m_constant)) return false;
    for (const Term& term : m_terms)
        if (!std::isfinite(term.coefficient)) return false;
    return true;
}

LayoutExpression& LayoutExpression::operator+=(const LayoutExpression& other) {
    m_terms.insert(m_terms.end(), other.m_terms.begin(), other.m_terms.end());
    m_constant += other.m_constant;
    return *this;
}

LayoutExpression& LayoutExpression::operator-=(const LayoutExpression& other) {
    for (const Term& term : other.m_terms) m_terms.push_back({term.variable, -term.coefficient});
    m_constant -= other.m_constant;
    return *this;
}

LayoutExpression& LayoutExpression::operator*=(double factor) {
    for (Term& term : m_terms) term.coefficient *= factor;
    m_constant *= factor;
    return *this;
}

}  // namespace platform
