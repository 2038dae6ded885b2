#pragma once

// LayoutSolver: an incremental solver for systems of linear equalities and inequalities with
// required constraints and weighted preferences, in the Cassowary manner (Badros, Borning and
// Stuckey, "The Cassowary linear arithmetic constraint solving algorithm").
//
// The system. Every constraint  expression (==, <=, >=) 0  becomes one row of a simplex tableau
// in solved form: each basic symbol equals a constant plus a combination of parametric symbols,
// and the current solution sets every parametric symbol to 0. Symbols are the variables
// (unrestricted), and per constraint a slack (inequalities, >= 0), a dummy (required equalities,
// held at 0; it marks the constraint so it can be taken out again) or error symbols (a
// preference's violation, >= 0). The objective row is the weighted sum of the error symbols.
//
//   add: the constraint's row is written over the parametric symbols (basic ones substituted),
//     a subject is chosen (a variable, else the constraint's own slack or error with a negative
//     coefficient), solved for and substituted into the rows that contain it; a row without a
//     subject goes through an artificial variable (phase one). The primal simplex then
//     minimises the objective (Bland's rule: no cycling).
//   remove: the constraint's errors leave the objective; its marker symbol is taken out of the
//     basis (if parametric, it is pivoted in on the row the paper names: a restricted row with
//     negative coefficient by the ratio test, else a restricted row with positive coefficient by
//     the ratio test, else any row), then that row is dropped and the objective re-minimised.
//     A dummy's row holding the marker goes before all of them: such a row belongs to a
//     duplicated or implied required constraint, pivoting on it moves no constant, and any
//     other choice would move its constant off 0 and silently free the survivor.
//   edit variables: a preference  v == value  whose constant suggestValue() moves; the rows
//     that contain its error symbols shift by the difference and the dual simplex restores
//     feasibility while keeping the objective optimal.
//
// Failure. An unsatisfiable required constraint, a constraint added twice, a number that is not
// finite, a tableau beyond the cell limit or work beyond the work limit throws LayoutError. Every change of
// an add is journalled (the first time a row is touched its old content is kept), so a refused add puts back
// exactly the rows it changed: the solver is as it was, at the cost of the work done.
//
// Numbers. Doubles; a coefficient below 1e-8 in magnitude is dropped as zero when rows are
// combined. Layout coefficients are multipliers near 1 and constants are points, so this is
// far below a pixel; preference weights live only in the objective row, whose coefficients are
// compared with 0 exactly. Rationals would be exact but grow without bound in long add/remove
// sequences.
//
// Complexity. Rows are sorted vectors of (symbol, coefficient) cells, kept in one array of
// slots. A column index maps every symbol but dummies to the rows that contain it, so a
// substitution or pivot touches only the rows holding the symbol: O(sum of their lengths), no
// scan. Dummies are left out of the index -- in a chain of required equalities (a vertical
// stack) each row holds the dummy of every constraint above it, and indexing them doubled the
// memory and most of the work; only the removal of a dummy's own constraint asks for its rows,
// and it finds them in one pass over the slots that skips rows whose symbol range excludes the
// dummy. For a chain of n views the tableau is O(n^2) cells (the price of the solved form;
// keeping such chains sparse needs a factored basis instead), building it is O(n^2) and
// removing a view from the middle O(n^2) (figures in the README). A cell limit (setCellLimit)
// turns a system that would exhaust memory into a refused add.
//
// Not thread-safe; one solver belongs to one thread (the main thread, for layout).

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/layout/LayoutVariable.h"

namespace platform {

class LayoutSolver {
public:
    LayoutSolver();
    ~LayoutSolver();
    LayoutSolver(const LayoutSolver&) = delete;
    LayoutSolver& operator=(const LayoutSolver&) = delete;

    // Throws LayoutError (the solver unchanged) when the constraint is already in the solver,
    // when it is required and contradicts the required constraints present, or when its numbers
    // are not finite.
    void addConstraint(const LayoutConstraint& constraint);
    // Throws LayoutError (nothing changed) for a constraint that is not in the solver.
    void removeConstraint(const LayoutConstraint& constraint);
    bool hasConstraint(const LayoutConstraint& constraint) const;
    size_t constraintCount() const;

    // An edit variable is a preference v == suggested value of the given strength (below
    // required: a required edit could make later suggestions unsatisfiable). It starts at the
    // variable's current value.
    void addEditVariable(const LayoutVariable& variable, double strength);
    void removeEditVariable(const LayoutVariable& variable);
    bool hasEditVariable(const LayoutVariable& variable) const;
    void suggestValue(const LayoutVariable& variable, double value);

    // Writes the solution into every variable of the system's constraints.
    void updateVariables();
    // The current solution's value of a variable (0 for one the solver does not know).
    double valueOf(const LayoutVariable& variable) const;
    // The objective's value: the weighted sum of the preferences' violations.
    double objectiveValue() const;

    // Refuses (with LayoutError, nothing changed) an add that would make the tableau hold more
    // than this many cells. 0: no limit (the default).
    void setCellLimit(size_t cells);
    // The tableau's size in cells (row entries, objective included), for tests and benchmarks.
    size_t cellCount() const;

    // Refuses (with LayoutError, nothing changed) an add during which the work done over the
    // solver's life -- cells read and written building and substituting rows -- passes this
    // many: a bound on time as the cell limit is on memory, for systems from untrusted input.
    // 0: no limit.
    void setWorkLimit(uint64_t cellOperations);
    uint64_t work() const;

    // Removes every constraint and edit variable.
    void reset();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
