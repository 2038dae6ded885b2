// The layout engine against a reference on many small random systems: a dense two-phase
// simplex over every variable, written here so it shares nothing with the solver. Whatever the
// reference finds satisfiable must be accepted, the accepted required constraints must hold,
// and the weighted violation of the preferences must be the reference's minimum.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/ui/layout/LayoutEngine.h"
#include "platform/ui/layout/LayoutError.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutEngine;
using platform::LayoutError;
using platform::LayoutExpression;
using platform::LayoutItem;
using platform::LayoutRelation;
using platform::LayoutVariable;

using Real = long double;
constexpr Real kEps = 1e-9L;

// min c.z subject to A z = b, z >= 0, by the textbook two-phase simplex with Bland's rule
// (no cycling). Nothing when infeasible. The costs are never negative, so the minimum exists.
std::optional<Real> minimise(std::vector<std::vector<Real>> a, std::vector<Real> b, std::vector<Real> c) {
    const size_t m = a.size(), n = c.size();
    for (size_t i = 0; i < m; ++i)
        if (b[i] < 0) {
            b[i] = -b[i];
            for (Real& x : a[i]) x = -x;
        }
    // Columns: n real ones, then one artificial per row; the last entry of a row is its value.
    std::vector<std::vector<Real>> t(m, std::vector<Real>(n + m + 1, 0));
    std::vector<size_t> basis(m);
    for (size_t i = 0; i < m; ++i) {
        std::copy(a[i].begin(), a[i].end(), t[i].begin());
        t[i][n + i] = 1;
        t[i][n + m] = b[i];
        basis[i] = n + i;
    }
    auto pivot = [&](size_t row, size_t col) {
        const Real p = t[row][col];
        for (Real& x : t[row]) x /= p;
        for (size_t i = 0; i < t.size(); ++i) {
            if (i == row || t[i][col] == 0) continue;
            const Real f = t[i][col];
            for (size_t j = 0; j <= n + m; ++j) t[i][j] -= f * t[row][j];
        }
        basis[row] = col;
    };
    auto run = [&](const std::vector<Real>& cost, size_t columns) {
        // Reduced costs are sums of weights up to about 1e9: their rounding is relative.
        Real tolerance = 1;
        for (Real w : cost) tolerance = std::max(tolerance, std::abs(w));
        tolerance *= 1e-13L;
        for (;;) {
            size_t entering = columns;
            for (size_t j = 0; j < columns && entering == columns; ++j) {
                Real reduced = cost[j];
                for (size_t i = 0; i < t.size(); ++i) reduced -= cost[basis[i]] * t[i][j];
                if (reduced < -tolerance) entering = j;
            }
            if (entering == columns) return;
            size_t leaving = t.size();
            Real best = 0;
            for (size_t i = 0; i < t.size(); ++i) {
                if (t[i][entering] <= kEps) continue;
                const Real ratio = t[i][n + m] / t[i][entering];
                if (leaving == t.size() || ratio < best - kEps ||
                    (ratio <= best + kEps && basis[i] < basis[leaving])) {
                    best = ratio;
                    leaving = i;
                }
            }
            ASSERT_NE(leaving, t.size()) << "the reference met an unbounded direction";
            pivot(leaving, entering);
        }
    };
    std::vector<Real> phaseOne(n + m, 0);
    for (size_t i = 0; i < m; ++i) phaseOne[n + i] = 1;
    run(phaseOne, n + m);
    Real infeasibility = 0, scale = 1;
    for (size_t i = 0; i < m; ++i) {
        scale = std::max(scale, std::abs(b[i]));
        if (basis[i] >= n) infeasibility += t[i][n + m];
    }
    if (infeasibility > 1e-7L * scale) return std::nullopt;
    // Artificials left in the basis at 0 leave it, or their row is redundant and goes.
    for (size_t i = 0; i < t.size();) {
        if (basis[i] < n) {
            ++i;
            continue;
        }
        size_t col = n;
        for (size_t j = 0; j < n && col == n; ++j)
            if (std::abs(t[i][j]) > kEps) col = j;
        if (col == n) {
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(i));
            basis.erase(basis.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        pivot(i, col);
        ++i;
    }
    std::vector<Real> cost(n + m, 0);
    std::copy(c.begin(), c.end(), cost.begin());
    run(cost, n);
    Real value = 0;
    for (size_t i = 0; i < t.size(); ++i) value += cost[basis[i]] * t[i][n + m];
    return value;
}

// A constraint as the reference sees it: expression (over variable numbers) relation 0.
struct Linear {
    std::vector<std::pair<size_t, Real>> terms;
    Real constant = 0;
    LayoutRelation relation = LayoutRelation::Equal;
    Real weight = 0;  // 0: required
};

// The least weighted violation of the preferences under the required constraints, or nothing
// when the required constraints contradict each other.
std::optional<Real> referenceOptimum(size_t variables, const std::vector<Linear>& constraints) {
    // Columns: every variable as the difference of two, then per constraint a slack and two
    // violation columns (used as its relation needs).
    const size_t n = 2 * variables + 3 * constraints.size();
    std::vector<std::vector<Real>> a;
    std::vector<Real> b, c(n, 0);
    for (size_t k = 0; k < constraints.size(); ++k) {
        const Linear& l = constraints[k];
        std::vector<Real> row(n, 0);
        for (const auto& [v, coefficient] : l.terms) {
            row[2 * v] += coefficient;
            row[2 * v + 1] -= coefficient;
        }
        const size_t slack = 2 * variables + 3 * k, over = slack + 1, under = slack + 2;
        if (l.relation == LayoutRelation::LessOrEqual) row[slack] = 1;
        if (l.relation == LayoutRelation::GreaterOrEqual) row[slack] = -1;
        if (l.weight > 0) {
            if (l.relation != LayoutRelation::GreaterOrEqual) {
                row[over] = -1;
                c[over] = l.weight;
            }
            if (l.relation != LayoutRelation::LessOrEqual) {
                row[under] = 1;
                c[under] = l.weight;
            }
        }
        a.push_back(std::move(row));
        b.push_back(-l.constant);
    }
    return minimise(std::move(a), std::move(b), std::move(c));
}

const LayoutAttribute kAttributes[] = {
    LayoutAttribute::Left,    LayoutAttribute::Right,    LayoutAttribute::Top,   LayoutAttribute::Bottom,
    LayoutAttribute::Leading, LayoutAttribute::Trailing, LayoutAttribute::Width, LayoutAttribute::Height,
    LayoutAttribute::CenterX, LayoutAttribute::CenterY,
};
const double kMultipliers[] = {1.0, 1.0, 1.0, 0.5, 2.0, -1.0, 0.0, 1.5, 0.25};
const double kStrengths[] = {
    LayoutConstraint::kRequired, LayoutConstraint::kRequired, 1000.0, 250.0, 10.0, 1.0};

// A random system over a few views, as layout-solve would be given it.
struct System {
    std::vector<std::unique_ptr<LayoutItem>> items;
    std::vector<LayoutVariable> variables;

    size_t indexOf(const LayoutVariable& v) const {
        return static_cast<size_t>(std::find(variables.begin(), variables.end(), v) - variables.begin());
    }
    Linear linear(const LayoutConstraint& constraint) const {
        Linear l;
        const LayoutExpression e = constraint.expression().reduced();
        for (const auto& term : e.terms()) l.terms.emplace_back(indexOf(term.variable), term.coefficient);
        l.constant = e.constant();
        l.relation = constraint.relation();
        l.weight = constraint.isRequired() ? 0 : constraint.strength();
        return l;
    }
};

struct Tally {
    int accepted = 0, refused = 0, removals = 0, preferences = 0;
};

// Adds random constraints, each checked against the reference, then removes some and checks
// again. Returns with a gtest failure on the first disagreement.
void checkOneSystem(std::mt19937& rng, int round, Tally& tally) {
    System system;
    const int views = 1 + static_cast<int>(rng() % 4);
    for (int v = 0; v < views; ++v) {
        system.items.push_back(std::make_unique<LayoutItem>("v" + std::to_string(v)));
        const LayoutItem& item = *system.items.back();
        for (const LayoutVariable& var : {item.left(), item.right(), item.top(), item.bottom()})
            system.variables.push_back(var);
    }
    LayoutEngine engine;
    std::vector<LayoutConstraint> live;
    auto check = [&](const std::string& when) {
        std::vector<Linear> linear;
        for (const LayoutConstraint& c : live) linear.push_back(system.linear(c));
        const std::optional<Real> optimum = referenceOptimum(system.variables.size(), linear);
        ASSERT_TRUE(optimum.has_value()) << "round " << round << " " << when;
        engine.solve();
        Real scale = 1;
        for (const LayoutVariable& v : system.variables) scale = std::max<Real>(scale, std::abs(v.value()));
        for (const LayoutConstraint& c : live)
            if (c.isRequired()) {
                ASSERT_LE(c.violation(), 1e-6 * static_cast<double>(scale))
                    << "round " << round << " " << when << ": " << c.description();
            }
        const double objective = engine.solver().objectiveValue();
        // Weights up to 1e9 turn rounding of the values into objective: allow for it.
        double weights = 0;
        for (const LayoutConstraint& c : live)
            if (!c.isRequired()) weights += c.strength();
        ASSERT_NEAR(objective, static_cast<double>(*optimum),
                    1e-6 * std::max(1.0, objective) + 1e-13 * weights * static_cast<double>(scale))
            << "round " << round << " " << when;
    };
    const int count = 2 + static_cast<int>(rng() % 16);
    for (int k = 0; k < count; ++k) {
        const LayoutItem& item1 = *system.items[rng() % system.items.size()];
        const LayoutAttribute attr1 = kAttributes[rng() % std::size(kAttributes)];
        const LayoutItem* item2 = rng() % 4 == 0 ? nullptr : system.items[rng() % system.items.size()].get();
        const LayoutAttribute attr2 = kAttributes[rng() % std::size(kAttributes)];
        const LayoutRelation relation = static_cast<LayoutRelation>(rng() % 3);
        const double multiplier = kMultipliers[rng() % std::size(kMultipliers)];
        const double constant = static_cast<double>(static_cast<int>(rng() % 201) - 100);
        double strength = kStrengths[rng() % std::size(kStrengths)];
        // Any weight below required, as a line may give: large ones leave rounding residue.
        if (rng() % 2) strength = std::uniform_real_distribution<double>(1.0, 1.001e9)(rng);
        try {
            live.push_back(engine.addConstraintWithStrength(item1, attr1, relation, item2, attr2, multiplier,
                                                            constant, strength));
            ++tally.accepted;
            if (strength < LayoutConstraint::kRequired) ++tally.preferences;
        } catch (const LayoutError& e) {
            // Only a required constraint that contradicts the ones present may be refused.
            LayoutExpression rhs(constant);
            if (item2) rhs += item2->expression(attr2) * multiplier;
            const LayoutConstraint refused =
                LayoutConstraint::make(item1.expression(attr1), relation, rhs, strength);
            std::vector<Linear> linear;
            for (const LayoutConstraint& c : live) linear.push_back(system.linear(c));
            linear.push_back(system.linear(refused));
            ASSERT_FALSE(referenceOptimum(system.variables.size(), linear).has_value())
                << "round " << round << ": refused " << refused.description() << ": " << e.what();
            ++tally.refused;
            continue;
        }
        check("after adding " + live.back().description());
        if (::testing::Test::HasFatalFailure()) return;
    }
    while (!live.empty() && rng() % 3 != 0) {
        const size_t i = rng() % live.size();
        const std::string shown = live[i].description();
        engine.removeConstraint(live[i]);
        live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
        ++tally.removals;
        check("after removing " + shown);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(LayoutReferenceTest, ReferenceSelfCheck) {
    // x + y == 10, x - y == 4 (required); x == 0 preferred with weight 2: violation 7, cost 14.
    const std::optional<Real> optimum =
        referenceOptimum(2, {{{{0, 1}, {1, 1}}, -10, LayoutRelation::Equal, 0},
                             {{{0, 1}, {1, -1}}, -4, LayoutRelation::Equal, 0},
                             {{{0, 1}}, 0, LayoutRelation::Equal, 2}});
    ASSERT_TRUE(optimum.has_value());
    EXPECT_NEAR(static_cast<double>(*optimum), 14.0, 1e-9);
    // x >= 5 and x <= 3 contradict each other.
    EXPECT_FALSE(referenceOptimum(1, {{{{0, 1}}, -5, LayoutRelation::GreaterOrEqual, 0},
                                      {{{0, 1}}, -3, LayoutRelation::LessOrEqual, 0}})
                     .has_value());
    // x <= 3 preferred, x >= 5 required: violation 2 at weight 1.5.
    const std::optional<Real> soft = referenceOptimum(1, {{{{0, 1}}, -5, LayoutRelation::GreaterOrEqual, 0},
                                                          {{{0, 1}}, -3, LayoutRelation::LessOrEqual, 1.5}});
    ASSERT_TRUE(soft.has_value());
    EXPECT_NEAR(static_cast<double>(*soft), 3.0, 1e-9);
}

TEST(LayoutReferenceTest, RandomSmallSystemsAgreeWithTheReference) {
    std::mt19937 rng(20261208);
    Tally tally;
    for (int round = 0; round < 4000; ++round) {
        checkOneSystem(rng, round, tally);
        if (HasFatalFailure()) return;
    }
    // The systems must exercise what they are for: refusals, preferences and removals.
    EXPECT_GT(tally.accepted, 10000);
    EXPECT_GT(tally.refused, 80);
    EXPECT_GT(tally.preferences, 3000);
    EXPECT_GT(tally.removals, 3000);
}

}  // namespace
