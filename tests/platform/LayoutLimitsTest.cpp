// The solver's work limit counts what the work costs: many preferences alike (each pass over
// the objective row, each row a pivot changes) reach the budget instead of running unbounded.

#include <gtest/gtest.h>

#include <string>

#include "platform/ui/layout/LayoutError.h"
#include "platform/ui/layout/LayoutSolver.h"

namespace {

using platform::LayoutConstraint;
using platform::LayoutError;
using platform::LayoutExpression;
using platform::LayoutRelation;
using platform::LayoutSolver;
using platform::LayoutVariable;

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
