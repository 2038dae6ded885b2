// The constraint solver: exact solutions of small systems, required and preferred constraints,
// refused adds that leave everything as it was, removal of duplicated and implied constraints,
// edit variables, and long random add/remove sequences checked against a fresh solve.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/ui/layout/LayoutError.h"
#include "platform/ui/layout/LayoutSolver.h"
#include "tests/support/LayoutTestSupport.h"

namespace {

using platform::LayoutConstraint;
using platform::LayoutError;
using platform::LayoutExpression;
using platform::LayoutRelation;
using platform::LayoutSolver;
using platform::LayoutVariable;

constexpr double kRequired = LayoutConstraint::kRequired;
using testsupport::EQ;
using testsupport::GE;
using testsupport::LE;

LayoutConstraint rel(const LayoutExpression& lhs, LayoutRelation r, const LayoutExpression& rhs,
                     double strength = kRequired) {
    return LayoutConstraint::make(lhs, r, rhs, strength);
}

TEST(LayoutSolverTest, SolvesSmallSystemsExactly) {
    LayoutVariable x("x"), y("y"), z("z");
    LayoutSolver solver;
    solver.addConstraint(rel(x + y, EQ, 10.0));
    solver.addConstraint(rel(x - y, EQ, 4.0));
    solver.addConstraint(rel(z, EQ, 0.5 * x + 1.0));
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(x.value(), 7.0);
    EXPECT_DOUBLE_EQ(y.value(), 3.0);
    EXPECT_DOUBLE_EQ(z.value(), 4.5);
    EXPECT_DOUBLE_EQ(solver.objectiveValue(), 0.0);
}

TEST(LayoutSolverTest, PreferencesGiveWayByWeight) {
    struct Case {
        double strongWeight, weakWeight, expected;
    };
    // x == 100 and x == 50 as preferences, x <= 80 required: the heavier preference wins as
    // far as the required bound lets it.
    for (const Case& c : std::vector<Case>{{10.0, 1.0, 80.0}, {1.0, 10.0, 50.0}}) {
        LayoutVariable x("x");
        LayoutSolver solver;
        solver.addConstraint(rel(x, EQ, 100.0, c.strongWeight));
        solver.addConstraint(rel(x, EQ, 50.0, c.weakWeight));
        solver.addConstraint(rel(x, LE, 80.0));
        solver.updateVariables();
        EXPECT_NEAR(x.value(), c.expected, 1e-9) << c.strongWeight << " vs " << c.weakWeight;
        const double cost =
            c.strongWeight * std::abs(100.0 - x.value()) + c.weakWeight * std::abs(x.value() - 50.0);
        EXPECT_NEAR(solver.objectiveValue(), cost, 1e-6);
    }
}

TEST(LayoutSolverTest, PriorityMappingOrdersWeightsBelowRequired) {
    double previous = 0.0;
    for (double p : {1.0, 250.0, 500.0, 750.0, 999.0}) {
        const double w = LayoutConstraint::strengthForPriority(p);
        EXPECT_GT(w, previous) << p;
        EXPECT_LT(w, kRequired) << p;
        previous = w;
    }
    EXPECT_EQ(LayoutConstraint::strengthForPriority(1000.0), kRequired);
    for (double bad : {0.0, -5.0, std::nan("")})
        EXPECT_THROW(LayoutConstraint::strengthForPriority(bad), LayoutError);
    EXPECT_THROW(LayoutConstraint(LayoutExpression(1.0), EQ, 0.0), LayoutError);
}

// A refused add must leave the solution and the objective as they were, and the solver must
// go on working with the constraints it holds.
TEST(LayoutSolverTest, RefusedAddsLeaveTheSolverAsItWas) {
    LayoutVariable x("x"), y("y"), w("w");
    LayoutSolver solver;
    const LayoutConstraint xAtLeast10 = rel(x, GE, 10.0);
    solver.addConstraint(xAtLeast10);
    solver.addConstraint(rel(y, EQ, x + 5.0));
    solver.addConstraint(rel(x, EQ, 40.0, 3.0));
    solver.addConstraint(rel(w, LE, y - 1.0));
    solver.addConstraint(rel(w, EQ, 100.0, 1.0));
    solver.updateVariables();
    const double before[] = {x.value(), y.value(), w.value(), solver.objectiveValue()};
    const size_t cells = solver.cellCount();

    struct Refusal {
        std::string what;
        LayoutConstraint constraint;
    };
    const std::vector<Refusal> refusals{
        {"contradicting inequality (phase one)", rel(x, LE, 5.0)},
        {"contradicting equality over dummies", rel(y - x, EQ, 6.0)},
        {"contradiction through a chain", rel(w, GE, y + 3.0)},
        {"same object again", xAtLeast10},
        {"not finite", rel(x, EQ, std::numeric_limits<double>::infinity())},
    };
    for (const Refusal& r : refusals) {
        EXPECT_THROW(solver.addConstraint(r.constraint), LayoutError) << r.what;
        solver.updateVariables();
        EXPECT_EQ(x.value(), before[0]) << r.what;
        EXPECT_EQ(y.value(), before[1]) << r.what;
        EXPECT_EQ(w.value(), before[2]) << r.what;
        EXPECT_EQ(solver.objectiveValue(), before[3]) << r.what;
        EXPECT_EQ(solver.cellCount(), cells) << r.what;
        EXPECT_EQ(solver.constraintCount(), 5u) << r.what;
    }
    // Still a working solver: the required bound now decides.
    solver.addConstraint(rel(x, LE, 20.0));
    solver.updateVariables();
    EXPECT_NEAR(x.value(), 20.0, 1e-9);
    EXPECT_NEAR(y.value(), 25.0, 1e-9);
    EXPECT_NEAR(w.value(), 24.0, 1e-9);
}

TEST(LayoutSolverTest, UnsatisfiableMessageNamesTheConstraint) {
    LayoutVariable x("box.left");
    LayoutSolver solver;
    solver.addConstraint(rel(x, EQ, 10.0));
    try {
        solver.addConstraint(rel(x, EQ, 12.0));
        FAIL() << "no error";
    } catch (const LayoutError& e) {
        EXPECT_NE(std::string(e.what()).find("box.left - 12 == 0 (required)"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("contradicts"), std::string::npos) << e.what();
    }
}

TEST(LayoutSolverTest, RemovingADuplicatedRequiredConstraintKeepsTheSurvivor) {
    LayoutVariable x("x");
    LayoutSolver solver;
    const LayoutConstraint first = rel(x, EQ, 10.0);
    const LayoutConstraint second = rel(x, EQ, 10.0);
    solver.addConstraint(first);
    solver.addConstraint(second);
    solver.addConstraint(rel(x, EQ, 500.0, 1000.0));  // a pull that must not win
    solver.removeConstraint(first);
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(x.value(), 10.0);
    // Still required: a contradicting required constraint is refused.
    EXPECT_THROW(solver.addConstraint(rel(x, EQ, 11.0)), LayoutError);
    solver.removeConstraint(second);
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(x.value(), 500.0);
}

TEST(LayoutSolverTest, RemovingAnImpliedRequiredConstraintKeepsTheRestCorrect) {
    struct Case {
        const char* remove;
        double x, y;
    };
    // x == 10, y == x, y == 10: removing any one leaves the other two holding x and y at 10;
    // a weak pull on y shows which freedom is left.
    for (const Case& c : std::vector<Case>{{"x==10", 10, 10}, {"y==x", 10, 10}, {"y==10", 10, 10}}) {
        LayoutVariable x("x"), y("y");
        LayoutSolver solver;
        const LayoutConstraint a = rel(x, EQ, 10.0), b = rel(y, EQ, x), d = rel(y, EQ, 10.0);
        solver.addConstraint(a);
        solver.addConstraint(b);
        solver.addConstraint(d);
        solver.addConstraint(rel(y, EQ, 77.0, 1.0));
        solver.addConstraint(rel(x, EQ, -3.0, 1.0));
        const std::string which = c.remove;
        solver.removeConstraint(which == "x==10" ? a : which == "y==x" ? b : d);
        solver.updateVariables();
        EXPECT_DOUBLE_EQ(x.value(), c.x) << c.remove;
        EXPECT_DOUBLE_EQ(y.value(), c.y) << c.remove;
    }
}

TEST(LayoutSolverTest, RemovingUnknownConstraintsIsAnError) {
    LayoutVariable x("x");
    LayoutSolver solver;
    const LayoutConstraint c = rel(x, EQ, 1.0);
    EXPECT_THROW(solver.removeConstraint(c), LayoutError);
    solver.addConstraint(c);
    solver.removeConstraint(c);
    EXPECT_THROW(solver.removeConstraint(c), LayoutError);
    EXPECT_EQ(solver.cellCount(), 0u);
}

TEST(LayoutSolverTest, EditVariablesFollowSuggestionsWithinRequiredBounds) {
    LayoutVariable left("left"), width("width"), right("right");
    LayoutSolver solver;
    solver.addConstraint(rel(right, EQ, left + width));
    solver.addConstraint(rel(width, GE, 50.0));
    solver.addConstraint(rel(width, LE, 300.0));
    solver.addConstraint(rel(left, EQ, 20.0));
    solver.addConstraint(rel(width, EQ, 100.0, 1.0));
    solver.addEditVariable(right, LayoutConstraint::strengthForPriority(750));
    struct Step {
        double suggested, expectedRight, expectedWidth;
    };
    for (const Step& s : std::vector<Step>{
             {200, 200, 180}, {400, 320, 300}, {10, 70, 50}, {150, 150, 130}, {150, 150, 130}}) {
        solver.suggestValue(right, s.suggested);
        solver.updateVariables();
        EXPECT_NEAR(right.value(), s.expectedRight, 1e-9) << s.suggested;
        EXPECT_NEAR(width.value(), s.expectedWidth, 1e-9) << s.suggested;
        EXPECT_NEAR(left.value(), 20.0, 1e-9);
    }
    EXPECT_THROW(solver.addEditVariable(right, 10.0), LayoutError);
    EXPECT_THROW(solver.addEditVariable(left, kRequired), LayoutError);
    EXPECT_THROW(solver.suggestValue(left, 1.0), LayoutError);
    EXPECT_THROW(solver.suggestValue(right, std::nan("")), LayoutError);
    solver.removeEditVariable(right);
    solver.updateVariables();
    EXPECT_NEAR(width.value(), 100.0, 1e-9);
    EXPECT_FALSE(solver.hasEditVariable(right));
}

TEST(LayoutSolverTest, CellLimitRefusesGrowthAndKeepsTheSystem) {
    LayoutSolver solver;
    std::vector<LayoutVariable> v;
    for (int i = 0; i < 40; ++i) v.emplace_back("v" + std::to_string(i));
    // A chain the tableau must hold (an equality as two inequalities): its rows grow with it.
    const auto link = [&](int i) {
        solver.addConstraint(rel(v[i], GE, v[i - 1] + 1.0));
        solver.addConstraint(rel(v[i], LE, v[i - 1] + 1.0));
    };
    solver.addConstraint(rel(v[0], EQ, 0.0));
    for (int i = 1; i < 10; ++i) link(i);
    solver.setCellLimit(solver.cellCount() + 5);
    int refused = 0;
    for (int i = 10; i < 40; ++i) {
        try {
            link(i);
        } catch (const LayoutError& e) {
            ++refused;
            EXPECT_NE(std::string(e.what()).find("limit"), std::string::npos);
            break;
        }
    }
    EXPECT_EQ(refused, 1);
    EXPECT_LE(solver.cellCount(), solver.cellCount() + 5);
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(v[9].value(), 9.0);
}

// Thousands of constraints added and taken out again around a fixed system must leave nothing
// behind: the same tableau size and the same solution.
TEST(LayoutSolverTest, LongAddRemoveSequencesLeaveNothingBehind) {
    std::vector<LayoutVariable> v;
    for (int i = 0; i < 12; ++i) v.emplace_back("v" + std::to_string(i));
    LayoutSolver solver;
    solver.addConstraint(rel(v[0], EQ, 0.0));
    for (int i = 1; i < 12; ++i) {
        solver.addConstraint(rel(v[i], GE, v[i - 1] + 5.0));
        solver.addConstraint(rel(v[i], EQ, v[i - 1] + 10.0, 1.0 + i));
    }
    solver.addEditVariable(v[11], 50.0);
    solver.suggestValue(v[11], 90.0);
    const std::vector<double> baseline = [&] {
        std::vector<double> values;
        for (const LayoutVariable& x : v) values.push_back(solver.valueOf(x));
        return values;
    }();
    const size_t cells = solver.cellCount();
    const double objective = solver.objectiveValue();

    std::mt19937 rng(99);
    std::uniform_int_distribution<int> pick(0, 11), kind(0, 5), offset(-30, 30);
    std::vector<LayoutConstraint> extra;
    for (int round = 0; round < 3000; ++round) {
        const LayoutVariable &a = v[pick(rng)], &b = v[pick(rng)];
        const int k = kind(rng);
        const LayoutRelation r = k % 3 == 0 ? EQ : k % 3 == 1 ? LE : GE;
        const double strength = k < 3 ? kRequired : 1.0 + k;
        try {
            extra.push_back(rel(a, r, b + static_cast<double>(offset(rng)), strength));
            solver.addConstraint(extra.back());
        } catch (const LayoutError&) {
            extra.pop_back();
        }
        if (round % 7 == 0) solver.suggestValue(v[11], 60.0 + round % 50);
        // Take them out in a scrambled order every few rounds.
        if (extra.size() >= 5) {
            std::shuffle(extra.begin(), extra.end(), rng);
            for (const LayoutConstraint& c : extra) solver.removeConstraint(c);
            extra.clear();
        }
    }
    for (const LayoutConstraint& c : extra) solver.removeConstraint(c);
    solver.suggestValue(v[11], 90.0);
    // The basis may differ from the one before (so may the row lengths); a leak would grow
    // with the 3000 rounds.
    EXPECT_LE(solver.cellCount(), 2 * cells);
    EXPECT_NEAR(solver.objectiveValue(), objective, 1e-6 * std::max(1.0, objective));
    for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(solver.valueOf(v[i]), baseline[i], 1e-6) << i;
}

// ---------------------------------------------------------------------------------------------
// Random systems: the solver that saw a long add/remove sequence must agree with a fresh
// solver given only the surviving constraints.

struct RandomSystem {
    std::vector<LayoutVariable> variables;
    std::vector<LayoutConstraint> anchors;  // weak pulls on every variable, never removed
};

LayoutConstraint randomConstraint(std::mt19937& rng, const std::vector<LayoutVariable>& vars) {
    std::uniform_int_distribution<size_t> pick(0, vars.size() - 1);
    std::uniform_int_distribution<int> terms(1, 3), constant(-50, 50), relation(0, 2), strengthKind(0, 9);
    static const double kCoefficients[] = {1.0, -1.0, 2.0, -2.0, 0.5, 1.0, -1.0};
    std::uniform_int_distribution<size_t> coefficient(0, std::size(kCoefficients) - 1);
    LayoutExpression e(static_cast<double>(constant(rng)));
    const int n = terms(rng);
    for (int i = 0; i < n; ++i) e += LayoutExpression(vars[pick(rng)], kCoefficients[coefficient(rng)]);
    const LayoutRelation r = relation(rng) == 0 ? EQ : relation(rng) == 1 ? LE : GE;
    const int k = strengthKind(rng);
    const double strength = k < 5 ? kRequired : k < 7 ? 1000.0 : k < 9 ? 10.0 : 1.0;
    return LayoutConstraint(e, r, strength);
}

void fill(LayoutSolver& solver, const RandomSystem& system,
          const std::vector<LayoutConstraint>& constraints) {
    for (const LayoutConstraint& a : system.anchors) solver.addConstraint(a);
    for (const LayoutConstraint& c : constraints) solver.addConstraint(c);
}

std::vector<double> valuesOf(const LayoutSolver& solver, const RandomSystem& system) {
    std::vector<double> values;
    for (const LayoutVariable& v : system.variables) values.push_back(solver.valueOf(v));
    return values;
}

double scaleOf(const std::vector<double>& values) {
    double s = 1.0;
    for (double v : values) s = std::max(s, std::abs(v));
    return s;
}

void removeOneAtRandom(std::mt19937& rng, LayoutSolver& solver, std::vector<LayoutConstraint>& live) {
    std::uniform_int_distribution<size_t> which(0, live.size() - 1);
    const size_t i = which(rng);
    solver.removeConstraint(live[i]);
    live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
}

// The incremental solver against fresh solves of the same system, forwards and backwards: the
// same objective, every required constraint held, and the same values where the optimum is
// unique (`compared` counts those; a tie between preferences leaves the objective to decide).
void expectAgreesWithFreshSolves(LayoutSolver& incremental, const LayoutSolver& fresh,
                                 const LayoutSolver& reversed, const RandomSystem& system,
                                 const std::vector<LayoutConstraint>& live, int round, int& compared) {
    const std::vector<double> a = valuesOf(incremental, system), b = valuesOf(fresh, system),
                              r = valuesOf(reversed, system);
    const double tolerance = 1e-6 * scaleOf(b);
    ASSERT_NEAR(incremental.objectiveValue(), fresh.objectiveValue(),
                1e-6 * std::max(1.0, fresh.objectiveValue()))
        << "round " << round;
    incremental.updateVariables();
    for (const LayoutConstraint& c : live)
        if (c.isRequired()) {
            ASSERT_LT(c.violation(), tolerance) << "round " << round << ": " << c.description();
        }
    bool unique = true;
    for (size_t i = 0; i < b.size(); ++i) unique = unique && std::abs(b[i] - r[i]) <= tolerance;
    if (!unique) return;
    ++compared;
    for (size_t i = 0; i < a.size(); ++i)
        ASSERT_NEAR(a[i], b[i], tolerance) << "round " << round << " x" << i;
}

TEST(LayoutSolverTest, IncrementalChangesAgreeWithAFreshSolve) {
    std::mt19937 rng(20261207);
    int systems = 0, compared = 0, refusedAdds = 0, removals = 0;
    for (int round = 0; round < 300; ++round, ++systems) {
        RandomSystem system;
        const int nVars = 3 + round % 6;
        for (int i = 0; i < nVars; ++i) {
            system.variables.emplace_back("x" + std::to_string(i));
            // Distinct small weights make the optimum unique in all but degenerate cases.
            system.anchors.push_back(LayoutConstraint(
                LayoutExpression(system.variables.back(), 1.0, -10.0 * i), EQ, 1e-3 * (1.0 + 0.37 * i)));
        }
        LayoutSolver incremental;
        std::vector<LayoutConstraint> live;
        for (const LayoutConstraint& a : system.anchors) incremental.addConstraint(a);
        std::uniform_int_distribution<int> op(0, 9);
        for (int step = 0; step < 40; ++step) {
            if (!live.empty() && op(rng) < 4) {
                removeOneAtRandom(rng, incremental, live);
                ++removals;
                continue;
            }
            LayoutConstraint c = randomConstraint(rng, system.variables);
            const std::vector<double> before = valuesOf(incremental, system);
            const double objectiveBefore = incremental.objectiveValue();
            try {
                incremental.addConstraint(c);
                live.push_back(c);
                // Sometimes the same equation again, as another object: a redundant duplicate.
                if (op(rng) == 0) {
                    LayoutConstraint twin(c.expression(), c.relation(), c.strength());
                    incremental.addConstraint(twin);
                    live.push_back(twin);
                }
            } catch (const LayoutError&) {
                ++refusedAdds;
                ASSERT_EQ(valuesOf(incremental, system), before) << "round " << round;
                ASSERT_EQ(incremental.objectiveValue(), objectiveBefore) << "round " << round;
            }
        }
        LayoutSolver fresh, reversed;
        fill(fresh, system, live);
        std::vector<LayoutConstraint> backwards(live.rbegin(), live.rend());
        fill(reversed, system, backwards);
        ASSERT_NO_FATAL_FAILURE(
            expectAgreesWithFreshSolves(incremental, fresh, reversed, system, live, round, compared));
    }
    // The random systems must exercise what they are for.
    EXPECT_EQ(systems, 300);
    EXPECT_GT(compared, 240);
    EXPECT_GT(refusedAdds, 100);
    EXPECT_GT(removals, 1000);
}

// Edit variables moved many times agree with a fresh solver whose edits start at the final
// suggestions.
TEST(LayoutSolverTest, SuggestionsAgreeWithAFreshSolve) {
    std::mt19937 rng(7);
    int compared = 0;
    for (int round = 0; round < 150; ++round) {
        RandomSystem system;
        for (int i = 0; i < 5; ++i) {
            system.variables.emplace_back("x" + std::to_string(i));
            system.anchors.push_back(LayoutConstraint(
                LayoutExpression(system.variables.back(), 1.0, -7.0 * i), EQ, 1e-3 * (1.0 + 0.41 * i)));
        }
        std::vector<LayoutConstraint> live;
        LayoutSolver incremental;
        fill(incremental, system, {});
        for (int i = 0; i < 8; ++i) {
            LayoutConstraint c = randomConstraint(rng, system.variables);
            try {
                incremental.addConstraint(c);
                live.push_back(c);
            } catch (const LayoutError&) {
            }
        }
        const LayoutVariable& edited = system.variables[round % 5];
        incremental.addEditVariable(edited, 100.0);
        std::uniform_real_distribution<double> value(-200.0, 200.0);
        double last = 0.0;
        for (int s = 0; s < 12; ++s) incremental.suggestValue(edited, last = std::round(value(rng)));

        LayoutSolver fresh;
        fill(fresh, system, live);
        fresh.addConstraint(LayoutConstraint(LayoutExpression(edited, 1.0, -last), EQ, 100.0));
        ASSERT_NEAR(incremental.objectiveValue(), fresh.objectiveValue(),
                    1e-6 * std::max(1.0, fresh.objectiveValue()))
            << "round " << round;
        LayoutSolver reversed;
        reversed.addConstraint(LayoutConstraint(LayoutExpression(edited, 1.0, -last), EQ, 100.0));
        std::vector<LayoutConstraint> backwards(live.rbegin(), live.rend());
        fill(reversed, system, backwards);
        const auto a = valuesOf(incremental, system), b = valuesOf(fresh, system),
                   r = valuesOf(reversed, system);
        bool unique = true;
        for (size_t i = 0; i < b.size(); ++i) unique = unique && std::abs(b[i] - r[i]) <= 1e-6 * scaleOf(b);
        if (!unique) continue;
        ++compared;
        for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 1e-6 * scaleOf(b)) << "round " << round;
    }
    EXPECT_GT(compared, 120);
}

// The work limit counts what the work costs: many preferences alike (each pass over the
// objective row, each row a pivot changes) reach the budget instead of running unbounded.
TEST(LayoutLimitsTest, ManyAlikePreferencesReachTheWorkBudget) {
    // Once: 5,000 alike preferences counted 1e8 units while taking seconds (about 1e9 units'
    // worth), so a budget documented as seconds allowed minutes.
    LayoutVariable width("width");
    LayoutSolver solver;
    constexpr uint64_t kBudget = 500'000'000;
    solver.setWorkLimit(kBudget);
    int added = 0;
    std::string refusal;
    for (; added < 5000; ++added) {
        try {
            solver.addConstraint(
                LayoutConstraint(LayoutExpression(width, 1.0, -100.0), LayoutRelation::Equal, 10.0));
        } catch (const LayoutError& e) {
            refusal = e.what();
            break;
        }
    }
    EXPECT_LT(added, 5000);
    EXPECT_NE(refusal.find("budget of 500000000 cell operations"), std::string::npos) << refusal;
    // The refused add left the solver as it was: the preferences added still hold.
    solver.updateVariables();
    EXPECT_DOUBLE_EQ(width.value(), 100.0);
    EXPECT_EQ(solver.constraintCount(), static_cast<size_t>(added));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Offset equalities (x == y + c, x == c) live in equivalence classes outside the tableau.

// A long chain holds no tableau cells; cutting a link frees the part below, which a weak pull
// then moves, and gluing it back puts every view where it was.
TEST(LayoutSolverTest, OffsetChainsSplitAndJoinWithoutTableauGrowth) {
    constexpr int n = 2000;
    std::vector<LayoutVariable> v;
    for (int i = 0; i < n; ++i) v.emplace_back("v" + std::to_string(i));
    LayoutSolver solver;
    solver.addConstraint(rel(v[0], EQ, 5.0));
    std::vector<LayoutConstraint> links{rel(v[0], EQ, 5.0)};
    for (int i = 1; i < n; ++i) {
        links.push_back(rel(v[i], EQ, v[i - 1] + 3.0));
        solver.addConstraint(links.back());
    }
    solver.addConstraint(rel(v[n - 1], EQ, -100.0, 1.0));  // loses against the chain
    EXPECT_LT(solver.cellCount(), 10u);  // the pull's row and objective, nothing of the chain
    for (int i : {0, 1, n / 2, n - 1}) EXPECT_EQ(solver.valueOf(v[i]), 5.0 + 3.0 * i) << i;

    struct Cut {
        int link;  // removed: v[link] == v[link - 1] + 3
    };
    for (const Cut& c : std::vector<Cut>{{1}, {n / 2}, {n - 1}}) {
        solver.removeConstraint(links[c.link]);
        // The lower part is free now: the pull puts its last view at -100, the rest follow.
        EXPECT_NEAR(solver.valueOf(v[n - 1]), -100.0, 1e-9) << c.link;
        EXPECT_NEAR(solver.valueOf(v[c.link]), -100.0 - 3.0 * (n - 1 - c.link), 1e-9) << c.link;
        EXPECT_EQ(solver.valueOf(v[c.link - 1]), 5.0 + 3.0 * (c.link - 1)) << c.link;
        solver.addConstraint(links[c.link]);
        for (int i : {0, c.link - 1, c.link, n - 1}) EXPECT_EQ(solver.valueOf(v[i]), 5.0 + 3.0 * i) << c.link;
    }
    // A contradicting link closing a cycle is refused; a consistent one is redundant, and the
    // chain survives the removal of the link it duplicates.
    EXPECT_THROW(solver.addConstraint(rel(v[n - 1], EQ, v[0] + 1.0)), LayoutError);
    const LayoutConstraint shortcut = rel(v[n / 2], EQ, v[n / 4] + 3.0 * (n / 2 - n / 4));
    solver.addConstraint(shortcut);
    solver.removeConstraint(links[n / 3]);
    EXPECT_EQ(solver.valueOf(v[n - 1]), 5.0 + 3.0 * (n - 1));
    solver.removeConstraint(shortcut);
    EXPECT_NEAR(solver.valueOf(v[n - 1]), -100.0, 1e-9);
    EXPECT_LT(solver.cellCount(), 10u);
}

// Random systems rich in offset equalities -- chains, pins, duplicates, cycles, links removed
// from the middle -- mixed with inequalities, preferences and edit variables whose tableau
// rows are rewritten when the classes merge and split. The reference solves the surviving
// system afresh with every required equality written as two inequalities, so it never takes
// the classes' path.
TEST(LayoutSolverTest, OffsetClassesAgreeWithATableauOnlySolve) {
    std::mt19937 rng(424242);
    int compared = 0, refusedAdds = 0, removals = 0, edits = 0;
    const auto asInequalities = [](const LayoutConstraint& c) {
        std::vector<LayoutConstraint> result;
        if (c.isRequired() && c.relation() == EQ) {
            result.emplace_back(c.expression(), LE, kRequired);
            result.emplace_back(c.expression(), GE, kRequired);
        } else {
            result.push_back(c);
        }
        return result;
    };
    int chains = 0;
    for (int round = 0; round < 300; ++round) {
        RandomSystem system;
        // Every fourth system starts as one long chain, whose links the steps then cut and join.
        const bool chain = round % 4 == 1;
        const int nVars = chain ? 40 : 4 + round % 9;
        for (int i = 0; i < nVars; ++i) {
            system.variables.emplace_back("x" + std::to_string(i));
            system.anchors.push_back(LayoutConstraint(
                LayoutExpression(system.variables.back(), 1.0, -10.0 * i), EQ, 1e-3 * (1.0 + 0.37 * i)));
        }
        const auto& vars = system.variables;
        std::uniform_int_distribution<size_t> pick(0, vars.size() - 1);
        std::uniform_int_distribution<int> op(0, 19), constant(-40, 40);
        LayoutSolver incremental;
        fill(incremental, system, {});
        std::vector<LayoutConstraint> live;
        const LayoutVariable& edited = vars[round % vars.size()];
        const bool withEdit = round % 3 == 0;
        double suggested = 0.0;
        if (withEdit) incremental.addEditVariable(edited, 50.0);
        if (chain) {
            ++chains;
            for (int i = 1; i < nVars; ++i) {
                live.push_back(
                    rel(vars[static_cast<size_t>(i)], EQ, vars[static_cast<size_t>(i - 1)] + constant(rng)));
                incremental.addConstraint(live.back());
            }
        }
        for (int step = 0; step < (chain ? 120 : 60); ++step) {
            const int o = op(rng);
            if (!live.empty() && o < 6) {
                removeOneAtRandom(rng, incremental, live);
                ++removals;
                continue;
            }
            if (withEdit && o < 8) {
                incremental.suggestValue(edited, suggested = constant(rng) * 3.0);
                ++edits;
                continue;
            }
            const LayoutVariable &a = vars[pick(rng)], &b = vars[pick(rng)];
            const double k = constant(rng);
            std::optional<LayoutConstraint> c;
            if (o < 13)
                c = rel(a, EQ, b + k);  // a link (a pin if a and b coincide: then refused or trivial)
            else if (o < 14)
                c = rel(a, EQ, k);  // a pin
            else if (o < 15)
                c = rel(2.0 * a, EQ, 2.0 * b + k);  // a link with other coefficients
            else if (o < 16 && !live.empty()) {
                std::uniform_int_distribution<size_t> which(0, live.size() - 1);
                const LayoutConstraint& twin = live[which(rng)];
                c = LayoutConstraint(twin.expression(), twin.relation(), twin.strength());  // a duplicate
            } else if (o < 17) {
                // Implied when a and b are already joined; a contradiction or a new link otherwise.
                c = rel(a, EQ, b + (incremental.valueOf(a) - incremental.valueOf(b)));
            } else {
                c = randomConstraint(rng, vars);
            }
            const std::vector<double> before = valuesOf(incremental, system);
            const double objectiveBefore = incremental.objectiveValue();
            const size_t cellsBefore = incremental.cellCount();
            try {
                incremental.addConstraint(*c);
                live.push_back(*c);
            } catch (const LayoutError&) {
                ++refusedAdds;
                ASSERT_EQ(valuesOf(incremental, system), before) << "round " << round;
                ASSERT_EQ(incremental.objectiveValue(), objectiveBefore) << "round " << round;
                ASSERT_EQ(incremental.cellCount(), cellsBefore) << "round " << round;
            }
        }
        const auto reference = [&](bool backwards) {
            auto solver = std::make_unique<LayoutSolver>();
            std::vector<LayoutConstraint> all = system.anchors;
            all.insert(all.end(), live.begin(), live.end());
            if (withEdit) all.push_back(rel(edited, EQ, suggested, 50.0));
            if (backwards) std::reverse(all.begin(), all.end());
            for (const LayoutConstraint& c : all)
                for (const LayoutConstraint& part : asInequalities(c)) solver->addConstraint(part);
            return solver;
        };
        const auto fresh = reference(false), reversed = reference(true);
        ASSERT_NO_FATAL_FAILURE(
            expectAgreesWithFreshSolves(incremental, *fresh, *reversed, system, live, round, compared));
    }
    EXPECT_EQ(chains, 75);
    EXPECT_GT(compared, 240);
    EXPECT_GT(refusedAdds, 500);
    EXPECT_GT(removals, 3000);
    EXPECT_GT(edits, 500);
}
