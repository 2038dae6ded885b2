#pragma once

// LayoutSolver: an incremental solver for systems of linear equalities and inequalities with
// required constraints and weighted preferences, in the Cassowary manner (Badros, Borning and
// Stuckey, "The Cassowary linear arithmetic constraint solving algorithm").
//
// Two representations. Most of a layout is required offset equalities -- x == y + c between two
// variables, x == c for one: a view's height, a glue between neighbours, a margin, a pin.
// Written into a simplex tableau in solved form, a chain of n of them costs O(n^2) cells (every
// row holds the marker of every link above it). They are kept outside it instead:
//
//   equivalence classes: the offset equalities are the edges of a graph over the variables (plus
//     a node standing for the constant 0); a spanning forest of it is kept, every tree a class,
//     and every variable is  its class's origin + an offset. The class holding the constant node
//     is fixed (its origin is a number); any other class has an origin variable. An edge that
//     closes a cycle is redundant (checked against the offsets: a contradiction is refused) and
//     stays off the forest. Adding a tree edge merges the smaller class into the larger
//     (O(smaller)); removing one searches both sides at once, one edge at a time, so the search
//     costs O(the smaller side); a redundant edge reaching across takes its place (a duplicated
//     or implied constraint keeps holding), else the smaller side becomes a class of its own.
//   the tableau (LayoutTableau, which documents the simplex): every other constraint, with its
//     variables replaced by origin + offset. A merge or split changes the origins of one side's
//     variables; the tableau constraints that mention them are taken out and added again in the
//     new terms, inside one tableau transaction, so a refused add puts everything back.
//
// Complexity. A vertical stack of n views (all offset equalities) is O(n) memory; building it is
// O(n), removing a middle view and gluing its neighbours O(n) (the split and merge of the lower
// part), changing a width O(n). Tableau constraints cost what LayoutTableau says, plus their
// re-expression when a class they touch merges or splits.
//
// Failure. An unsatisfiable required constraint, a constraint added twice, a number that is not
// finite, a tableau beyond the cell limit or work beyond the work limit throws LayoutError, and
// the solver is exactly as it was.
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
    // than this many cells, counting the copies an add keeps to undo itself: a bound on memory
    // (some 30 bytes a cell with the column index). 0: no limit (the default). Offset equalities
    // take no cells.
    void setCellLimit(size_t cells);
    // The tableau's size in cells (row entries, objective included), for tests and benchmarks.
    size_t cellCount() const;

    // Refuses (with LayoutError, nothing changed) an add during which the work done over the
    // solver's life -- cells read and written building and substituting rows -- passes this
    // many (nodes and edges visited by the equivalence classes count as well): a bound on time
    // as the cell limit is on memory, for systems from untrusted input.
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
