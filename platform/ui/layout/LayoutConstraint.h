#pragma once

// LayoutConstraint: one linear relation  expression (==, <= or >=) 0  with a strength. A handle:
// copies are the same constraint, compared and hashed by identity, so a solver can hold two
// constraints with equal equations (and remove either one).
//
// Strength. A strength of kRequired or more makes the constraint required: it holds exactly or
// is refused. A lower, positive strength makes it a preference whose violation costs
// strength * |violation| in the objective the solver minimises.
//
// The toolkit states priorities from 1 to 1000 (1000 required, 750 default-high, 250
// default-low). strengthForPriority(p) maps p < 1000 to 10^(9p/1000): 750 -> about 5.6e6,
// 250 -> about 178, 1 -> about 1.02. Every step of 100 multiplies the weight by about 8, so a
// preference outweighs a handful of preferences 100 below it, and every weight stays below
// kRequired (999 -> about 9.8e8).

#include <memory>
#include <string>

#include "platform/ui/layout/LayoutExpression.h"

namespace platform {

enum class LayoutRelation { LessOrEqual, Equal, GreaterOrEqual };

class LayoutConstraint {
public:
    static constexpr double kRequired = 1001001000.0;
    static constexpr double kRequiredPriority = 1000.0;

    // expression relation 0. Throws LayoutError for a strength that is not a positive number.
    LayoutConstraint(const LayoutExpression& expression, LayoutRelation relation,
                     double strength = kRequired);
    // lhs relation rhs, that is (lhs - rhs) relation 0.
    static LayoutConstraint make(const LayoutExpression& lhs, LayoutRelation relation,
                                 const LayoutExpression& rhs, double strength = kRequired);

    // 1000 or more: kRequired; 1 to 999: the weight above. Throws LayoutError for a priority
    // below 1 or not a number.
    static double strengthForPriority(double priority);

    const LayoutExpression& expression() const { return m_data->expression; }
    LayoutRelation relation() const { return m_data->relation; }
    double strength() const { return m_data->strength; }
    bool isRequired() const { return m_data->strength >= kRequired; }
    // How far the variables' current values are from satisfying the relation (0 when they do).
    double violation() const;
    // The equation as text, for messages: "v0.top - v1.bottom - 8 == 0 (required)".
    std::string description() const;

    const void* identity() const { return m_data.get(); }
    friend bool operator==(const LayoutConstraint& a, const LayoutConstraint& b) {
        return a.m_data == b.m_data;
    }

private:
    struct Data {
        LayoutExpression expression;
        LayoutRelation relation;
        double strength;
    };
    std::shared_ptr<const Data> m_data;
};

}  // namespace platform

template <>
struct std::hash<platform::LayoutConstraint> {
    size_t operator()(const platform::LayoutConstraint& c) const noexcept {
        return std::hash<const void*>()(c.identity());
    }
};
