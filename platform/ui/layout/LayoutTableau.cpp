#include "platform/ui/layout/LayoutTableau.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/ui/layout/LayoutError.h"

namespace platform {

namespace {

// A symbol is a serial number with its kind in the low bits; 0 is no symbol. Sorting cells by
// symbol sorts them by creation, which is the order Bland's rule needs.
using Symbol = uint64_t;
enum class Kind : uint8_t { None = 0, External = 1, Slack = 2, Error = 3, Dummy = 4 };
constexpr unsigned kKindBits = 3;

Kind kindOf(Symbol s) {
    return static_cast<Kind>(s & ((1u << kKindBits) - 1));
}
// Every symbol but a variable is >= 0 in any solution (dummies are even = 0).
bool isRestricted(Symbol s) {
    return kindOf(s) != Kind::External;
}
bool isPivotable(Symbol s) {
    return kindOf(s) == Kind::Slack || kindOf(s) == Kind::Error;
}

constexpr double kEpsilon = 1.0e-8;
// Objective coefficients below this fraction of the largest preference weight are rounding
// residue (see optimize()).
constexpr double kObjectiveResidue = 1.0e-12;

// Work is counted in units of about a nanosecond: a cell read or copied is one; a cell that
// enters or leaves a row also updates the column index (a hash table); a row changed costs its
// lookups, its journal entry and a new cell array whatever its length.
constexpr uint64_t kIndexedCellCost = 24;
constexpr uint64_t kRowCost = 200;
// A cell merged into another row (compared, copied, and a new array) and an entry of the column
// index checked against its row (a hash lookup and a search of the row) cost several.
constexpr uint64_t kMergedCellCost = 3;
constexpr uint64_t kColumnEntryCost = 64;
bool nearZero(double v) {
    return std::abs(v) < kEpsilon;
}

struct Cell {
    Symbol symbol;
    double coefficient;
};

struct NoHook {
    void operator()(Symbol) const {}
};

// One row: constant + sum of coefficient * symbol, cells sorted by symbol, no zero coefficients.
// The hooks tell the solver which symbols entered or left the row (its column index).
class Row {
public:
    explicit Row(double constant = 0.0) : m_constant(constant) {}

    double constant() const { return m_constant; }
    void addToConstant(double delta) { m_constant += delta; }
    // Whether s lies within the row's lowest and highest symbol: a test that reads no cell, so
    // a pass over many rows skips most of them without touching their cells.
    bool mayHold(Symbol s) const { return !m_cells.empty() && m_low <= s && s <= m_high; }
    const std::vector<Cell>& cells() const { return m_cells; }

    double coefficientFor(Symbol s) const {
        auto it = find(s);
        return it != m_cells.end() && it->symbol == s ? it->coefficient : 0.0;
    }

    // this += coefficient * s
    template <typename OnAdd = NoHook, typename OnRemove = NoHook>
    void add(Symbol s, double coefficient, OnAdd onAdd = {}, OnRemove onRemove = {}) {
        auto it = find(s);
        if (it != m_cells.end() && it->symbol == s) {
            it->coefficient += coefficient;
            if (nearZero(it->coefficient)) {
                m_cells.erase(it);
                onRemove(s);
            }
        } else if (!nearZero(coefficient)) {
            m_cells.insert(it, Cell{s, coefficient});
            onAdd(s);
        }
        updateRange();
    }

    // this += factor * other (constant included), one merge of the two sorted rows.
    template <typename OnAdd = NoHook, typename OnRemove = NoHook>
    void add(const Row& other, double factor, OnAdd onAdd = {}, OnRemove onRemove = {}) {
        m_constant += factor * other.m_constant;
        if (other.m_cells.empty()) return;
        if (other.m_cells.size() == 1) {
            add(other.m_cells[0].symbol, factor * other.m_cells[0].coefficient, onAdd, onRemove);
            return;
        }
        std::vector<Cell> merged;
        merged.reserve(m_cells.size() + other.m_cells.size());
        auto a = m_cells.begin();
        auto b = other.m_cells.begin();
        while (a != m_cells.end() || b != other.m_cells.end()) {
            if (b == other.m_cells.end() || (a != m_cells.end() && a->symbol < b->symbol)) {
                merged.push_back(*a++);
            } else if (a == m_cells.end() || b->symbol < a->symbol) {
                const double c = factor * b->coefficient;
                if (!nearZero(c)) {
                    merged.push_back(Cell{b->symbol, c});
                    onAdd(b->symbol);
                }
                ++b;
            } else {
                const double c = a->coefficient + factor * b->coefficient;
                if (nearZero(c))
                    onRemove(a->symbol);
                else
                    merged.push_back(Cell{a->symbol, c});
                ++a;
                ++b;
            }
        }
        // A merge reserves for both rows; when cancellation left much less, give the rest
        // back, or long rows would keep up to twice their size.
        if (merged.capacity() > merged.size() + merged.size() / 2 + 16) merged.shrink_to_fit();
        m_cells.swap(merged);
        updateRange();
    }

    template <typename OnRemove = NoHook>
    void remove(Symbol s, OnRemove onRemove = {}) {
        auto it = find(s);
        if (it != m_cells.end() && it->symbol == s) {
            m_cells.erase(it);
            onRemove(s);
        }
        updateRange();
    }

    void reverseSign() {
        m_constant = -m_constant;
        for (Cell& c : m_cells) c.coefficient = -c.coefficient;
    }

    // From  0 = constant + ... + c*s + ...  to  s = (constant + ...) / -c.  s must be in the row.
    void solveFor(Symbol s) {
        auto it = find(s);
        const double factor = -1.0 / it->coefficient;
        m_cells.erase(it);
        m_constant *= factor;
        for (Cell& c : m_cells) c.coefficient *= factor;
        updateRange();
    }

    // The row says  lhs = ... + c*rhs + ...; rewrite it as  rhs = ...
    void solveFor(Symbol lhs, Symbol rhs) {
        add(lhs, -1.0);
        solveFor(rhs);
    }

    // Replaces s by the expression row (s = row).
    void substitute(Symbol s, const Row& row) {
        auto it = find(s);
        if (it == m_cells.end() || it->symbol != s) return;
        const double c = it->coefficient;
        m_cells.erase(it);
        add(row, c);
        updateRange();
    }

private:
    std::vector<Cell>::iterator find(Symbol s) {
        return std::lower_bound(m_cells.begin(), m_cells.end(), s,
                                [](const Cell& c, Symbol v) { return c.symbol < v; });
    }
    std::vector<Cell>::const_iterator find(Symbol s) const {
        return std::lower_bound(m_cells.begin(), m_cells.end(), s,
                                [](const Cell& c, Symbol v) { return c.symbol < v; });
    }

    void updateRange() {
        if (m_cells.empty()) return;
        m_low = m_cells.front().symbol;
        m_high = m_cells.back().symbol;
    }

    double m_constant;
    std::vector<Cell> m_cells;
    Symbol m_low = 0, m_high = 0;
};

// The rows by basic symbol. The rows themselves sit in one array (freed slots reused), so a
// pass over all rows -- finding a dummy's rows -- reads memory in order instead of chasing a
// hash table's nodes.
class RowTable {
public:
    Row* find(Symbol basic) {
        auto it = m_index.find(basic);
        return it == m_index.end() ? nullptr : &m_slots[it->second].row;
    }
    const Row* find(Symbol basic) const { return const_cast<RowTable*>(this)->find(basic); }
    bool count(Symbol basic) const { return m_index.count(basic) > 0; }
    Row& at(Symbol basic) { return m_slots[m_index.at(basic)].row; }
    const Row& at(Symbol basic) const { return m_slots[m_index.at(basic)].row; }

    void insert_or_assign(Symbol basic, Row row) {
        if (auto it = m_index.find(basic); it != m_index.end()) {
            m_slots[it->second].row = std::move(row);
            return;
        }
        uint32_t slot;
        if (!m_free.empty()) {
            slot = m_free.back();
            m_free.pop_back();
        } else {
            slot = static_cast<uint32_t>(m_slots.size());
            m_slots.emplace_back();
        }
        m_slots[slot].basic = basic;
        m_slots[slot].row = std::move(row);
        m_index.emplace(basic, slot);
    }

    Row take(Symbol basic) {
        auto it = m_index.find(basic);
        const uint32_t slot = it->second;
        m_index.erase(it);
        Row row = std::move(m_slots[slot].row);
        m_slots[slot].basic = 0;
        m_slots[slot].row = Row();
        m_free.push_back(slot);
        return row;
    }

    template <typename F>
    void forEach(F f) const {
        for (const Slot& slot : m_slots)
            if (slot.basic) f(slot.basic, slot.row);
    }

private:
    struct Slot {
        Symbol basic = 0;  // 0: free
        Row row;
    };
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_free;
    std::unordered_map<Symbol, uint32_t> m_index;
};

// The tableau outgrew the cell limit, or the solver's work its budget, in the middle of an
// add; the add is rolled back.
struct CellLimitReached {};
struct WorkLimitReached {};

}  // namespace

class LayoutTableau::Impl {
public:
    struct Tag {
        Symbol marker = 0;
        Symbol other = 0;
    };
    struct ConstraintInfo {
        LayoutConstraint constraint;
        Tag tag;
    };
    struct VariableInfo {
        LayoutVariable variable;
        Symbol symbol;
        size_t uses;
    };

    // --- tableau bookkeeping ----------------------------------------------------------------

    Symbol newSymbol(Kind kind) { return (m_nextSerial++ << kKindBits) | static_cast<Symbol>(kind); }

    // The column index: for each symbol, the basics of the rows that may contain it. Entries are
    // appended when the symbol enters a row and only counted down when it leaves; rows() drops
    // the stale ones when the column is read, and a column is compacted once it holds more
    // stale entries than live ones, so it stays within twice its true size.
    struct Column {
        std::vector<Symbol> basics;
        size_t live = 0;
    };

    auto addHook(Symbol basic) {
        return [this, basic](Symbol s) {
            ++m_cells;
            m_work += kIndexedCellCost;
            if (kindOf(s) == Kind::Dummy) return;
            Column& column = m_columns[s];
            column.basics.push_back(basic);
            ++column.live;
            if (column.basics.size() == 2 * column.live + 16) m_oversized.push_back(s);
        };
    }
    auto removeHook(Symbol) {
        return [this](Symbol s) {
            --m_cells;
            m_work += kIndexedCellCost;
            if (kindOf(s) == Kind::Dummy) return;
            auto it = m_columns.find(s);
            if (it != m_columns.end() && it->second.live > 0 && --it->second.live == 0) m_columns.erase(it);
        };
    }

    void compact(Symbol s, Column& column) {
        m_work += kColumnEntryCost * column.basics.size();  // counted, not checked: between row changes
        std::sort(column.basics.begin(), column.basics.end());
        column.basics.erase(std::unique(column.basics.begin(), column.basics.end()), column.basics.end());
        std::erase_if(column.basics, [&](Symbol basic) {
            const Row* row = m_rows.find(basic);
            return !row || row->coefficientFor(s) == 0.0;
        });
        column.live = column.basics.size();
    }

    // Compacts the columns that outgrew their live entries; called between row changes, never
    // inside a merge (where the row being merged does not yet hold its new cells).
    void compactOversized() {
        for (Symbol s : m_oversized)
            if (auto it = m_columns.find(s); it != m_columns.end()) compact(s, it->second);
        m_oversized.clear();
    }

    // The basics of the rows that contain s, each once, in ascending order.
    //
    // Dummies have no column: a required equality's dummy sits in every row derived from it --
    // in a chain, in every row below -- so indexing them doubled the tableau's memory and
    // most of its work, while the only reader is the removal of that one constraint, whose
    // substitution then touches those rows anyway. Their rows are found by one pass.
    std::vector<Symbol> rowsWith(Symbol s) {
        if (kindOf(s) == Kind::Dummy) {
            std::vector<Symbol> basics;
            m_rows.forEach([&](Symbol basic, const Row& row) {
                ++m_work;
                if (row.mayHold(s) && row.coefficientFor(s) != 0.0) basics.push_back(basic);
            });
            std::sort(basics.begin(), basics.end());
            return basics;
        }
        auto it = m_columns.find(s);
        if (it == m_columns.end()) return {};
        compact(s, it->second);
        if (it->second.basics.empty()) {
            m_columns.erase(it);
            return {};
        }
        return it->second.basics;
    }

    size_t columnSize(Symbol s) const {
        auto it = m_columns.find(s);
        return it == m_columns.end() ? 0 : it->second.live;
    }

    void saveRow(Symbol basic) {
        if (!m_journaling || m_savedRows.count(basic)) return;
        const Row* row = m_rows.find(basic);
        if (row) m_savedCells += row->cells().size();
        m_savedRows.emplace(basic, row ? std::optional<Row>(*row) : std::nullopt);
    }

    // The cells held in memory: the tableau's and, inside a transaction, the copies kept to
    // roll it back. The cell limit bounds these, so that it bounds memory: a transaction that
    // touches every row holds each twice.
    size_t heldCells() const { return m_cells + m_savedCells + m_objective.cells().size(); }
    void saveObjective() {
        if (m_journaling && !m_savedObjective) {
            spend(m_objective.cells().size());
            m_savedCells += m_objective.cells().size();
            m_savedObjective = m_objective;
        }
    }

    // Counts cells read or written; inside an add, passing the work limit ends it. Every pass
    // over a row counts, the objective's included: the objective holds two cells per
    // preference, and passes over it were once uncounted, so many alike preferences ran for
    // minutes under a budget of seconds.
    void spend(uint64_t cells) {
        m_work += cells;
        if (m_adding && m_workLimit && m_work > m_workLimit) throw WorkLimitReached{};
    }

    void insertRow(Symbol basic, Row row) {
        saveRow(basic);
        m_work += kRowCost + row.cells().size();
        for (const Cell& c : row.cells()) addHook(basic)(c.symbol);
        m_rows.insert_or_assign(basic, std::move(row));
        compactOversized();
    }

    Row takeRow(Symbol basic) {
        saveRow(basic);
        Row row = m_rows.take(basic);
        for (const Cell& c : row.cells()) removeHook(basic)(c.symbol);
        return row;
    }

    // Replaces s by row in every row that contains it, the objective and the artificial
    // objective. Restricted rows that turn negative are noted for the dual simplex.
    void substitute(Symbol s, const Row& row) { substitute(s, row, rowsWith(s)); }

    // The same over the rows already known to hold s (rows no longer in the tableau skipped).
    void substitute(Symbol s, const Row& row, const std::vector<Symbol>& holders) {
        {
            for (Symbol basic : holders) {
                if (!m_rows.count(basic)) continue;
                saveRow(basic);
                Row& target = m_rows.at(basic);
                const double c = target.coefficientFor(s);
                m_work += kRowCost + kMergedCellCost * (target.cells().size() + row.cells().size());
                target.remove(s, removeHook(basic));
                target.add(row, c, addHook(basic), removeHook(basic));
                compactOversized();
                if (isRestricted(basic) && target.constant() < 0.0) m_infeasible.push_back(basic);
                if (m_adding && m_cellLimit && heldCells() > m_cellLimit) throw CellLimitReached{};
                if (m_adding && m_workLimit && m_work > m_workLimit) throw WorkLimitReached{};
            }
        }
        if (m_objective.coefficientFor(s) != 0.0) {
            saveObjective();
            spend(m_objective.cells().size() + row.cells().size());
            m_objective.substitute(s, row);
        }
        if (m_artificial) {
            spend(m_artificial->cells().size() + row.cells().size());
            m_artificial->substitute(s, row);
        }
    }

    // Makes entering basic in place of leaving, on leaving's row.
    void pivot(Symbol leaving, Symbol entering) {
        Row row = takeRow(leaving);
        row.solveFor(leaving, entering);
        substitute(entering, row);
        insertRow(entering, std::move(row));
    }

    // Removes s from every row; for a symbol that should appear nowhere (left-overs of
    // rounding) or that is fixed at 0 from now on.
    void eraseColumn(Symbol s) {
        for (Symbol basic : rowsWith(s)) {
            saveRow(basic);
            m_rows.at(basic).remove(s, removeHook(basic));
        }
        if (m_objective.coefficientFor(s) != 0.0) {
            saveObjective();
            m_objective.remove(s);
        }
    }

    // --- variables --------------------------------------------------------------------------

    Symbol useVariable(const LayoutVariable& v) {
        saveVariable(v.identity());
        auto [it, fresh] = m_variables.try_emplace(v.identity(), VariableInfo{v, 0, 0});
        if (fresh) it->second.symbol = newSymbol(Kind::External);
        ++it->second.uses;
        return it->second.symbol;
    }

    // A variable no constraint mentions any more leaves the tableau: if basic its row only
    // defined it; if parametric it can only linger as rounding residue.
    void releaseVariable(const void* id) {
        auto it = m_variables.find(id);
        if (it == m_variables.end()) return;
        saveVariable(id);
        if (--it->second.uses > 0) return;
        const Symbol s = it->second.symbol;
        if (m_rows.count(s)) takeRow(s);
        eraseColumn(s);
        m_variables.erase(it);
    }

    // --- adding -----------------------------------------------------------------------------

    Row createRow(const LayoutConstraint& constraint, Tag& tag) {
        const LayoutExpression& expression = constraint.expression();
        Row row(expression.constant());
        for (const LayoutExpression::Term& term : expression.terms()) {
            const Symbol s = useVariable(term.variable);
            if (const Row* basic = m_rows.find(s)) {
                m_work += basic->cells().size();
                row.add(*basic, term.coefficient);
            } else
                row.add(s, term.coefficient);
        }
        const double strength = constraint.strength();
        if (!constraint.isRequired()) m_largestWeight = std::max(m_largestWeight, strength);
        switch (constraint.relation()) {
            case LayoutRelation::LessOrEqual:
            case LayoutRelation::GreaterOrEqual: {
                // expression + slack == 0 for <=, expression - slack == 0 for >=.
                const double sign = constraint.relation() == LayoutRelation::LessOrEqual ? 1.0 : -1.0;
                tag.marker = newSymbol(Kind::Slack);
                row.add(tag.marker, sign);
                if (!constraint.isRequired()) {
                    tag.other = newSymbol(Kind::Error);
                    row.add(tag.other, -sign);
                    saveObjective();
                    m_objective.add(tag.other, strength);
                }
                break;
            }
            case LayoutRelation::Equal:
                if (constraint.isRequired()) {
                    tag.marker = newSymbol(Kind::Dummy);
                    row.add(tag.marker, 1.0);
                } else {
                    tag.marker = newSymbol(Kind::Error);
                    tag.other = newSymbol(Kind::Error);
                    row.add(tag.marker, -1.0);
                    row.add(tag.other, 1.0);
                    saveObjective();
                    m_objective.add(tag.marker, strength);
                    m_objective.add(tag.other, strength);
                }
                break;
        }
        if (row.constant() < 0.0) row.reverseSign();
        return row;
    }

    // A variable if there is one (the one in the fewest rows, so the substitution is cheap),
    // else the constraint's own slack or error when its coefficient is negative.
    Symbol chooseSubject(const Row& row, const Tag& tag) const {
        Symbol best = 0;
        size_t bestUses = std::numeric_limits<size_t>::max();
        for (const Cell& c : row.cells()) {
            if (kindOf(c.symbol) != Kind::External) continue;
            const size_t uses = columnSize(c.symbol);
            if (uses < bestUses) {
                best = c.symbol;
                bestUses = uses;
                if (uses == 0) break;
            }
        }
        if (best) return best;
        if (isPivotable(tag.marker) && row.coefficientFor(tag.marker) < 0.0) return tag.marker;
        if (tag.other && isPivotable(tag.other) && row.coefficientFor(tag.other) < 0.0) return tag.other;
        return 0;
    }

    static bool allDummies(const Row& row) {
        return std::all_of(row.cells().begin(), row.cells().end(),
                           [](const Cell& c) { return kindOf(c.symbol) == Kind::Dummy; });
    }

    // Phase one for a row without a subject: minimise an artificial variable standing for the
    // row; the row is satisfiable exactly when the minimum is 0.
    bool addWithArtificialVariable(const Row& row) {
        const Symbol art = newSymbol(Kind::Slack);
        insertRow(art, row);
        m_artificial = std::make_unique<Row>(row);
        optimize(*m_artificial);
        const bool success = nearZero(m_artificial->constant());
        m_artificial.reset();
        if (m_rows.count(art)) {
            Row artRow = takeRow(art);
            if (artRow.cells().empty()) return success;
            Symbol entering = 0;
            for (const Cell& c : artRow.cells())
                if (isPivotable(c.symbol)) {
                    entering = c.symbol;
                    break;
                }
            if (!entering) return false;
            artRow.solveFor(art, entering);
            substitute(entering, artRow);
            insertRow(entering, std::move(artRow));
        }
        eraseColumn(art);
        return success;
    }

    void add(const LayoutConstraint& constraint, const LayoutConstraint& shownAs) {
        const bool own = !m_journaling;
        if (own) begin();
        m_adding = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{m_adding};
        try {
            Tag tag;
            Row row = createRow(constraint, tag);
            Symbol subject = chooseSubject(row, tag);
            if (!subject && allDummies(row)) {
                if (!nearZero(row.constant())) throw unsatisfiable(shownAs);
                subject = tag.marker;  // implied by the required constraints present
            }
            if (!subject) {
                if (!addWithArtificialVariable(row)) throw unsatisfiable(shownAs);
            } else {
                row.solveFor(subject);
                substitute(subject, row);
                insertRow(subject, std::move(row));
            }
            optimize(m_objective);
            if (m_cellLimit && heldCells() > m_cellLimit) throw CellLimitReached{};
            if (m_workLimit && m_work > m_workLimit) throw WorkLimitReached{};
            saveConstraint(constraint.identity());
            m_constraints.emplace(constraint.identity(), ConstraintInfo{constraint, tag});
        } catch (const WorkLimitReached&) {
            if (own) rollback();
            throw LayoutError(fmt::format(
                "adding {} would take the solver beyond its budget of {} cell operations: split the "
                "layout into smaller systems, or raise the budget",
                shownAs.description(), m_workLimit));
        } catch (const CellLimitReached&) {
            if (own) rollback();
            throw LayoutError(fmt::format(
                "adding {} would make the system larger than its limit of {} tableau cells: split the "
                "layout into smaller systems, or raise the limit",
                shownAs.description(), m_cellLimit));
        } catch (...) {
            if (own) rollback();
            throw;
        }
        if (own) commit();
    }

    static LayoutError unsatisfiable(const LayoutConstraint& constraint) {
        return LayoutError(fmt::format(
            "the required constraint {} contradicts the required constraints already present: remove one "
            "of them, or give one a strength below required",
            constraint.description()));
    }

    // --- the simplex ------------------------------------------------------------------------

    // Primal simplex on objective: Bland's rule (the lowest symbol with a negative coefficient
    // enters; ties of the ratio test go to the lowest symbol), so it cannot cycle.
    //
    // The objective's coefficients are sums of weights up to about 1e9, so adding and taking
    // away a weight leaves residue of about 1e9 * 2^-52: a coefficient that small is no
    // direction of descent. Were it taken for one, a symbol that no restricted row bounds
    // would read as an unbounded objective and refuse a solvable system.
    void optimize(Row& objective) {
        const double residue = kObjectiveResidue * m_largestWeight;
        for (;;) {
            Symbol entering = 0;
            uint64_t scanned = 0;
            for (const Cell& c : objective.cells()) {
                ++scanned;
                if (kindOf(c.symbol) != Kind::Dummy && c.coefficient < -residue) {
                    entering = c.symbol;
                    break;
                }
            }
            spend(scanned);
            if (!entering) return;
            Symbol leaving = 0;
            double best = std::numeric_limits<double>::infinity();
            const std::vector<Symbol> holders = rowsWith(entering);
            spend(holders.size());
            for (Symbol basic : holders) {
                if (!isRestricted(basic)) continue;
                const Row& row = m_rows.at(basic);
                const double c = row.coefficientFor(entering);
                if (c >= 0.0) continue;
                const double ratio = -row.constant() / c;
                if (ratio < best || (ratio == best && basic < leaving)) {
                    best = ratio;
                    leaving = basic;
                }
            }
            if (!leaving) {
                // No restricted row bounds the entering symbol: its coefficient is residue
                // that outgrew the bound above (rows drop cells below 1e-8, and a weight
                // multiplies what they drop). The objective is bounded below by 0, so this is
                // never a real direction: the coefficient is 0.
                if (&objective == &m_objective) saveObjective();
                objective.remove(entering);
                continue;
            }
            pivot(leaving, entering);
        }
    }

    // Dual simplex: restores feasibility of the rows noted infeasible while keeping the
    // objective optimal (after an edit variable's suggestion).
    void dualOptimize() {
        while (!m_infeasible.empty()) {
            const Symbol leaving = m_infeasible.back();
            m_infeasible.pop_back();
            const Row* leavingRow = m_rows.find(leaving);
            if (!leavingRow || leavingRow->constant() >= -kEpsilon) continue;
            Symbol entering = 0;
            double best = std::numeric_limits<double>::infinity();
            for (const Cell& c : leavingRow->cells()) {
                if (c.coefficient <= 0.0 || kindOf(c.symbol) == Kind::Dummy) continue;
                const double ratio = m_objective.coefficientFor(c.symbol) / c.coefficient;
                if (ratio < best) {
                    best = ratio;
                    entering = c.symbol;
                }
            }
            if (!entering)
                throw LayoutError(
                    "the layout's dual optimisation found no way back to a feasible solution: "
                    "please report this system");
            pivot(leaving, entering);
        }
    }

    // --- removing ---------------------------------------------------------------------------

    // The row on which a parametric marker enters the basis before its row is dropped.
    //
    // A dummy's row comes first. Such a row belongs to a redundant required equality (a
    // duplicate, or one implied by others): it holds dummies only, with constant 0, and says
    // that the redundant constraint's marker equals a combination of the markers it duplicates.
    // Pivoting on it changes no constant; pivoting on any other row would move that constant off
    // 0, and the surviving duplicate would silently stop holding.
    Symbol markerLeavingRow(Symbol marker, const std::vector<Symbol>& basics) const {
        Symbol dummy = 0, negative = 0, positive = 0, unrestricted = 0;
        double bestNegative = std::numeric_limits<double>::infinity();
        double bestPositive = bestNegative;
        for (Symbol basic : basics)
            if (kindOf(basic) == Kind::Dummy && (!dummy || basic < dummy)) dummy = basic;
        if (dummy) return dummy;
        for (Symbol basic : basics) {
            if (!isRestricted(basic)) {
                if (!unrestricted || basic < unrestricted) unrestricted = basic;
                continue;
            }
            const Row& row = m_rows.at(basic);
            const double c = row.coefficientFor(marker);
            if (c < 0.0) {
                const double ratio = -row.constant() / c;
                if (ratio < bestNegative || (ratio == bestNegative && basic < negative)) {
                    bestNegative = ratio;
                    negative = basic;
                }
            } else {
                const double ratio = row.constant() / c;
                if (ratio < bestPositive || (ratio == bestPositive && basic < positive)) {
                    bestPositive = ratio;
                    positive = basic;
                }
            }
        }
        return negative ? negative : positive ? positive : unrestricted;
    }

    void removeErrorFromObjective(Symbol s, double strength) {
        if (kindOf(s) != Kind::Error) return;
        saveObjective();
        spend(m_objective.cells().size());
        if (const Row* row = m_rows.find(s))
            m_objective.add(*row, -strength);
        else
            m_objective.add(s, -strength);
    }

    void remove(const LayoutConstraint& constraint) {
        auto it = m_constraints.find(constraint.identity());
        if (it == m_constraints.end())
            throw LayoutError(
                fmt::format("the constraint {} is not in the solver: it was never added or is "
                            "already removed",
                            constraint.description()));
        const Tag tag = it->second.tag;
        saveConstraint(constraint.identity());
        m_constraints.erase(it);
        removeErrorFromObjective(tag.marker, constraint.strength());
        if (tag.other) removeErrorFromObjective(tag.other, constraint.strength());
        if (m_rows.count(tag.marker)) {
            takeRow(tag.marker);
        } else {
            // The substitution takes the marker out of every row that holds it.
            const std::vector<Symbol> holders = rowsWith(tag.marker);
            if (Symbol leaving = markerLeavingRow(tag.marker, holders)) {
                Row row = takeRow(leaving);
                row.solveFor(leaving, tag.marker);
                substitute(tag.marker, row, holders);
            }
        }
        // Pivoting the marker out cancels the other error symbol from every row, up to
        // rounding: clear the residue. (Were it basic, its row would be left alone, as the
        // paper does; the marker's removal never leaves it so in practice.)
        if (tag.other && !m_rows.count(tag.other)) eraseColumn(tag.other);
        for (const LayoutExpression::Term& term : constraint.expression().terms())
            releaseVariable(term.variable.identity());
        optimize(m_objective);
        m_infeasible.clear();
    }

    // --- journal ----------------------------------------------------------------------------

    void saveConstraint(const void* id) {
        if (!m_journaling || m_savedConstraints.count(id)) return;
        auto it = m_constraints.find(id);
        m_savedConstraints.emplace(
            id, it == m_constraints.end() ? std::nullopt : std::optional<ConstraintInfo>(it->second));
    }
    void saveVariable(const void* id) {
        if (!m_journaling || m_savedVariables.count(id)) return;
        auto it = m_variables.find(id);
        m_savedVariables.emplace(
            id, it == m_variables.end() ? std::nullopt : std::optional<VariableInfo>(it->second));
    }

    // clear() costs the bucket count even on an empty map, and a large transaction leaves many
    // buckets behind: every later add would pay for them.
    template <typename Map>
    static void discard(Map& map) {
        if (map.empty()) return;
        if (map.bucket_count() > 256)
            map = Map();
        else
            map.clear();
    }

    void begin() {
        m_journaling = true;
        discard(m_savedRows);
        m_savedCells = 0;
        m_savedObjective.reset();
        discard(m_savedConstraints);
        discard(m_savedVariables);
    }
    void commit() {
        m_journaling = false;
        discard(m_savedRows);
        m_savedCells = 0;
        m_savedObjective.reset();
        discard(m_savedConstraints);
        discard(m_savedVariables);
        m_infeasible.clear();
    }
    void rollback() {
        m_journaling = false;
        m_artificial.reset();
        for (auto& [basic, saved] : m_savedRows) {
            if (m_rows.count(basic)) takeRow(basic);
            if (saved) insertRow(basic, std::move(*saved));
        }
        if (m_savedObjective) m_objective = std::move(*m_savedObjective);
        for (auto& [id, saved] : m_savedConstraints) {
            if (saved)
                m_constraints.insert_or_assign(id, std::move(*saved));
            else
                m_constraints.erase(id);
        }
        for (auto& [id, saved] : m_savedVariables) {
            if (saved)
                m_variables.insert_or_assign(id, std::move(*saved));
            else
                m_variables.erase(id);
        }
        commit();
    }

    size_t cellCount() const { return m_cells + m_objective.cells().size(); }

    // --- state ------------------------------------------------------------------------------

    RowTable m_rows;
    std::unordered_map<Symbol, Column> m_columns;
    std::vector<Symbol> m_oversized;
    Row m_objective;
    std::unique_ptr<Row> m_artificial;
    std::unordered_map<const void*, ConstraintInfo> m_constraints;
    std::unordered_map<const void*, VariableInfo> m_variables;
    std::vector<Symbol> m_infeasible;
    uint64_t m_nextSerial = 1;
    double m_largestWeight = 1.0;  // of the preferences ever added, for the residue bound
    size_t m_cells = 0;
    size_t m_savedCells = 0;  // in the journal's copies of rows and of the objective
    size_t m_cellLimit = 0;
    uint64_t m_work = 0;  // cells read and written building and substituting rows, over the solver's life
    uint64_t m_workLimit = 0;

    bool m_journaling = false;
    bool m_adding = false;  // limits are checked inside an add only: a removal never fails
    std::unordered_map<Symbol, std::optional<Row>> m_savedRows;
    std::optional<Row> m_savedObjective;
    std::unordered_map<const void*, std::optional<ConstraintInfo>> m_savedConstraints;
    std::unordered_map<const void*, std::optional<VariableInfo>> m_savedVariables;
};

LayoutTableau::LayoutTableau() : m_impl(std::make_unique<Impl>()) {}
LayoutTableau::~LayoutTableau() = default;

void LayoutTableau::add(const LayoutConstraint& constraint, const LayoutConstraint& shownAs) {
    m_impl->add(constraint, shownAs);
}

void LayoutTableau::remove(const LayoutConstraint& constraint) {
    m_impl->remove(constraint);
}

bool LayoutTableau::has(const LayoutConstraint& constraint) const {
    return m_impl->m_constraints.count(constraint.identity()) > 0;
}

void LayoutTableau::shiftConstant(const LayoutConstraint& constraint, double delta) {
    Impl& s = *m_impl;
    const Impl::Tag tag = s.m_constraints.at(constraint.identity()).tag;
    // The equation  expression - delta - plus + minus == 0  appears in every row through its
    // error symbols; moving its constant shifts those rows' constants.
    if (Row* row = s.m_rows.find(tag.marker)) {
        row->addToConstant(-delta);
        if (row->constant() < 0.0) s.m_infeasible.push_back(tag.marker);
    } else if (Row* other = tag.other ? s.m_rows.find(tag.other) : nullptr) {
        other->addToConstant(delta);
        if (other->constant() < 0.0) s.m_infeasible.push_back(tag.other);
    } else {
        for (Symbol basic : s.rowsWith(tag.marker)) {
            Row& r = s.m_rows.at(basic);
            r.addToConstant(r.coefficientFor(tag.marker) * delta);
            if (isRestricted(basic) && r.constant() < 0.0) s.m_infeasible.push_back(basic);
        }
    }
    s.dualOptimize();
}

double LayoutTableau::valueOf(const LayoutVariable& variable) const {
    auto it = m_impl->m_variables.find(variable.identity());
    if (it == m_impl->m_variables.end()) return 0.0;
    const Row* row = m_impl->m_rows.find(it->second.symbol);
    return row ? row->constant() : 0.0;
}

// Summed from the error symbols rather than read from the objective row: a shifted constant
// moves the rows' constants without touching the objective's, and the simplex needs only its
// coefficients. Summed in symbol order, so the figure does not depend on the hash table's order
// (which a rolled-back change may alter).
double LayoutTableau::objectiveValue() const {
    std::vector<std::pair<Symbol, double>> terms;
    for (const auto& [id, info] : m_impl->m_constraints) {
        for (Symbol s : {info.tag.marker, info.tag.other}) {
            if (kindOf(s) != Kind::Error) continue;
            if (const Row* row = m_impl->m_rows.find(s))
                terms.emplace_back(s, info.constraint.strength() * row->constant());
        }
    }
    std::sort(terms.begin(), terms.end());
    double sum = 0.0;
    for (const auto& term : terms) sum += term.second;
    return sum;
}

void LayoutTableau::begin() {
    m_impl->begin();
}

void LayoutTableau::commit() {
    m_impl->commit();
}

void LayoutTableau::rollback() {
    m_impl->rollback();
}

bool LayoutTableau::inTransaction() const {
    return m_impl->m_journaling;
}

void LayoutTableau::setCellLimit(size_t cells) {
    m_impl->m_cellLimit = cells;
}

size_t LayoutTableau::cellLimit() const {
    return m_impl->m_cellLimit;
}

size_t LayoutTableau::cellCount() const {
    return m_impl->cellCount();
}

void LayoutTableau::setWorkLimit(uint64_t cellOperations) {
    m_impl->m_workLimit = cellOperations;
}

uint64_t LayoutTableau::workLimit() const {
    return m_impl->m_workLimit;
}

uint64_t LayoutTableau::work() const {
    return m_impl->m_work;
}

}  // namespace platform
