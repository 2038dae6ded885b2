#pragma once

// LayoutExpression: a linear expression  c1*x1 + c2*x2 + ... + constant  over layout variables,
// built with the usual operators:  (v.bottom() + 8.0) - w.top(),  2.0 * x - y.
// Terms are kept as written; reduced() merges repeated variables and drops zero coefficients.

#include <utility>
#include <vector>

#include "platform/ui/layout/LayoutVariable.h"

namespace platform {

class LayoutExpression {
public:
    struct Term {
        LayoutVariable variable;
        double coefficient;
    };

    LayoutExpression(double constant = 0.0) : m_constant(constant) {}
    LayoutExpression(const LayoutVariable& variable, double coefficient = 1.0, double constant = 0.0)
        : m_terms{{variable, coefficient}}, m_constant(constant) {}

    const std::vector<Term>& terms() const { return m_terms; }
    double constant() const { return m_constant; }

    // Each variable once, in order of first appearance, without zero coefficients.
    LayoutExpression reduced() const;
    // The expression's value with the variables' current values.
    double value() const;
    // Whether every coefficient and the constant are finite numbers.
    bool isFinite() const;

    LayoutExpression& operator+=(const LayoutExpression& other);
    LayoutExpression& operator-=(const LayoutExpression& other);
    LayoutExpression& operator*=(double factor);

private:
    std::vector<Term> m_terms;
    double m_constant = 0.0;
};

// Free functions (not hidden friends), so that variables and numbers convert: x + 8.0, 2.0 * y.
inline LayoutExpression operator+(LayoutExpression a, const LayoutExpression& b) {
    return a += b;
}
inline LayoutExpression operator-(LayoutExpression a, const LayoutExpression& b) {
    return a -= b;
}
inline LayoutExpression operator*(LayoutExpression a, double factor) {
    return a *= factor;
}
inline LayoutExpression operator*(double factor, LayoutExpression a) {
    return a *= factor;
}
inline LayoutExpression operator-(LayoutExpression a) {
    return a *= -1.0;
}

}  // namespace platform
