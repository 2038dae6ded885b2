#include "platform/ui/layout/LayoutConstraint.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/layout/LayoutError.h"

namespace platform {

LayoutConstraint::LayoutConstraint(const LayoutExpression& expression, LayoutRelation relation,
                                   double strength) {
    if (!(strength > 0.0) || std::isnan(strength))
        throw LayoutError(
            fmt::format("constraint strength {} is not a positive number: give a weight above 0 "
                        "({} or more for a required constraint)",
                        strength, kRequired));
    m_data =
        std::make_shared<const Data>(Data{expression.reduced(), relation, std::min(strength, kRequired)});
}

LayoutConstraint LayoutConstraint::make(const LayoutExpression& lhs, LayoutRelation relation,
                                        const LayoutExpression& rhs, double strength) {
    return LayoutConstraint(lhs - rhs, relation, strength);
}

double LayoutConstraint::strengthForPriority(double priority) {
    if (!(priority >= 1.0))
        throw LayoutError(
            fmt::format("layout priority {} is out of range: use 1 to 1000 (1000 required)", priority));
    if (priority >= kRequiredPriority) return kRequired;
    return std::pow(10.0, 9.0 * priority / 1000.0);
}

double LayoutConstraint::violation() const {
    const double v = expression().value();
    switch (relation()) {
        case LayoutRelation::LessOrEqual:
            return std::max(v, 0.0);
        case LayoutRelation::GreaterOrEqual:
            return std::max(-v, 0.0);
        case LayoutRelation::Equal:
            break;
    }
    return std::abs(v);
}

std::string LayoutConstraint::description() const {
    std::string text;
    for (const LayoutExpression::Term& term : expression().terms()) {
        const double c = term.coefficient;
        const std::string name = term.variable.name().empty() ? "(unnamed)" : term.variable.name();
        if (text.empty())
            text += c == 1.0 ? name : c == -1.0 ? "-" + name : fmt::format("{} * {}", c, name);
        else if (c == 1.0 || c == -1.0)
            text += fmt::format(" {} {}", c < 0 ? '-' : '+', name);
        else
            text += fmt::format(" {} {} * {}", c < 0 ? '-' : '+', std::abs(c), name);
    }
    const double k = expression().constant();
    if (text.empty())
        text = fmt::format("{}", k);
    else if (k != 0.0)
        text += fmt::format(" {} {}", k < 0 ? '-' : '+', std::abs(k));
    const char* op = relation() == LayoutRelation::Equal         ? "=="
                     : relation() == LayoutRelation::LessOrEqual ? "<="
                                                                 : ">=";
    if (isRequired()) return fmt::format("{} {} 0 (required)", text, op);
    return fmt::format("{} {} 0 (strength {})", text, op, strength());
}

}  // namespace platform
