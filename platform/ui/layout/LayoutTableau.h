#pragma once

// LayoutTableau: the simplex part of the layout solver, an incremental solver for linear
// equalities and inequalities with required constraints and weighted preferences in the
// Cassowary manner (Badros, Borning and Stuckey, "The Cassowary linear arithmetic constraint
// solving algorithm"). LayoutSolver keeps required offset equalities (x == y + c, x == c) out of
// it and hands it everything else, written over its equivalence classes.
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
//   shiftConstant: moves a preferred equality's constant (an edit variable's suggestion); the
//     rows that contain its error symbols shift by the difference and the dual simplex restores
//     feasibility while keeping the objective optimal.
//
// Transactions. Every change is journalled while a transaction is open (the first time a row,
// the objective, a constraint or a variable is touched its old content is kept), so rollback()
// puts back exactly what changed: a refused add is rolled back on its own, and LayoutSolver
// opens a transaction around the several adds and removes one of its changes may need.
//
// Numbers. Doubles; a coefficient below 1e-8 in magnitude is dropped as zero when rows are
// combined. Layout coefficients are multipliers near 1 and constants are points, so this is
// far below a pixel; preference weights live only in the objective row, whose coefficients are
// compared with 0 exactly.
//
// Complexity. Rows are sorted vectors of (symbol, coefficient) cells, kept in one array of
// slots. A column index maps every symbol but dummies to the rows that contain it, so a
// substitution or pivot touches only the rows holding the symbol: O(sum of their lengths), no
// scan. Dummies are left out of the index (a chain of required equalities puts the dummy of
// every link into every row below it); only the removal of a dummy's own constraint asks for its
// rows, found in one pass over the slots. A chain of n required equalities that are not offset
// equalities costs O(n^2) cells here; the cell limit turns such growth into a refused add.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/layout/LayoutVariable.h"

namespace platform {

class LayoutTableau {
public:
    LayoutTableau();
    ~LayoutTableau();
    LayoutTableau(const LayoutTableau&) = delete;
    LayoutTableau& operator=(const LayoutTableau&) = delete;

    // Throws LayoutError when the constraint is required and contradicts the required
    // constraints present, or when a limit is reached; messages name `shownAs` (the constraint
    // the caller was given). Outside a transaction a refused add leaves the tableau as it was;
    // inside one, the caller rolls back.
    void add(const LayoutConstraint& constraint, const LayoutConstraint& shownAs);
    // The constraint must be in the tableau.
    void remove(const LayoutConstraint& constraint);
    bool has(const LayoutConstraint& constraint) const;
    // For a preferred equality: its expression's constant decreases by delta (the value it asks
    // for grows by delta), and the solution follows.
    void shiftConstant(const LayoutConstraint& constraint, double delta);

    // The current solution's value of a variable (0 for one the tableau does not hold).
    double valueOf(const LayoutVariable& variable) const;
    double objectiveValue() const;

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;

    void setCellLimit(size_t cells);
    size_t cellLimit() const;
    size_t cellCount() const;
    void setWorkLimit(uint64_t cellOperations);
    uint64_t workLimit() const;
    uint64_t work() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
