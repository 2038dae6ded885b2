#include "platform/ui/layout/LayoutSolver.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui/layout/LayoutError.h"
#include "platform/ui/layout/LayoutTableau.h"

namespace platform {

namespace {

using Id = uint32_t;
constexpr Id kNone = std::numeric_limits<Id>::max();
constexpr Id kZeroNode = 0;  // stands for the constant 0

// Two offsets that agree to this (relative to their size) state the same equality.
constexpr double kOffsetTolerance = 1.0e-8;

template <typename T>
class Slots {
public:
    Id insert(T value) {
        if (!m_free.empty()) {
            const Id id = m_free.back();
            m_free.pop_back();
            m_items[id] = std::move(value);
            return id;
        }
        m_items.push_back(std::move(value));
        return static_cast<Id>(m_items.size() - 1);
    }
    void erase(Id id) {
        m_items[id].reset();
        m_free.push_back(id);
    }
    T& operator[](Id id) { return *m_items[id]; }
    const T& operator[](Id id) const { return *m_items[id]; }
    template <typename F>
    void forEach(F f) {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i]) f(static_cast<Id>(i), *m_items[i]);
    }

private:
    std::vector<std::optional<T>> m_items;
    std::vector<Id> m_free;
};

// Removes entry `at` from v by moving the last entry into its place; the position of the moved
// entry must then be updated by the caller (returned: the moved entry, if any).
template <typename T>
std::optional<T> swapRemove(std::vector<T>& v, size_t at) {
    std::optional<T> moved;
    if (at + 1 != v.size()) {
        v[at] = v.back();
        moved = v[at];
    }
    v.pop_back();
    return moved;
}

}  // namespace

class LayoutSolver::Impl {
public:
    struct Link {
        Id record;
        uint32_t slot;  // which end of the edge, or which term of the tableau constraint
    };
    struct Node {
        std::optional<LayoutVariable> variable;  // none for the constant node
        Id cls = kNone;
        uint32_t position = 0;  // in the class's members
        double offset = 0.0;    // value = the class's origin + offset
        std::vector<Link> edges;
        std::vector<Link> uses;  // tableau constraints mentioning the variable
        uint64_t mark = 0;
    };
    struct Class {
        std::vector<Id> members;
        std::optional<LayoutVariable> origin;  // made when a tableau constraint first needs it
    };
    struct Record {
        explicit Record(LayoutConstraint c) : constraint(std::move(c)) {}

        LayoutConstraint constraint;
        bool isEdge = false;
        // An edge: value(end[0]) == value(end[1]) + offset.
        Id end[2] = {kNone, kNone};
        uint32_t edgePosition[2] = {0, 0};
        double offset = 0.0;
        bool tree = false;
        // A tableau constraint: the constraint reduced, its nodes (one per term) and where it
        // sits in their uses; the constant moved by suggestions; the form in the tableau.
        std::optional<LayoutExpression> reduced;
        std::vector<Id> nodes;
        std::vector<uint32_t> usePosition;
        double shift = 0.0;
        std::optional<LayoutConstraint> internal;
        uint64_t mark = 0;
    };
    struct EditInfo {
        LayoutConstraint constraint;
        double constant;
    };
    // What a merge changed, to put it back if the add is refused.
    struct MergeUndo {
        Id moved = kNone, kept = kNone;
        size_t keptSize = 0;
        std::vector<double> offsets;
        std::vector<std::pair<Id, LayoutConstraint>> internals;
    };

    Impl() {
        Node zero;
        const Id cls = m_classes.insert(Class{{kZeroNode}, std::nullopt});
        zero.cls = cls;
        m_nodes.insert(std::move(zero));
    }

    // --- nodes and classes ------------------------------------------------------------------

    Id zeroClass() const { return m_nodes[kZeroNode].cls; }

    double classValue(Id cls) const {
        if (cls == zeroClass()) return -m_nodes[kZeroNode].offset;
        const Class& c = m_classes[cls];
        return c.origin ? m_tableau.valueOf(*c.origin) : 0.0;
    }

    double nodeValue(Id n) const { return classValue(m_nodes[n].cls) + m_nodes[n].offset; }

    const LayoutVariable& originOf(Id cls) {
        Class& c = m_classes[cls];
        if (!c.origin) c.origin.emplace();
        return *c.origin;
    }

    Id nodeFor(const LayoutVariable& variable, std::vector<Id>& created) {
        auto [it, fresh] = m_nodeOf.try_emplace(variable.identity(), kNone);
        if (!fresh) return it->second;
        Node node;
        node.variable = variable;
        const Id id = m_nodes.insert(std::move(node));
        const Id cls = m_classes.insert(Class{{id}, std::nullopt});
        m_nodes[id].cls = cls;
        it->second = id;
        created.push_back(id);
        return id;
    }

    void removeFromClass(Id n) {
        Node& node = m_nodes[n];
        Class& c = m_classes[node.cls];
        if (auto moved = swapRemove(c.members, node.position)) m_nodes[*moved].position = node.position;
    }

    // A variable no constraint mentions any more is forgotten (it is alone in its class).
    void releaseIfUnused(Id n) {
        if (n == kZeroNode) return;
        Node& node = m_nodes[n];
        if (!node.edges.empty() || !node.uses.empty()) return;
        const Id cls = node.cls;
        removeFromClass(n);
        if (m_classes[cls].members.empty()) m_classes.erase(cls);
        m_nodeOf.erase(node.variable->identity());
        m_nodes.erase(n);
    }

    // --- links ------------------------------------------------------------------------------

    void attachEdge(Id r) {
        Record& rec = m_records[r];
        for (uint32_t end = 0; end < 2; ++end) {
            Node& node = m_nodes[rec.end[end]];
            rec.edgePosition[end] = static_cast<uint32_t>(node.edges.size());
            node.edges.push_back(Link{r, end});
        }
    }
    void detachEdge(Id r) {
        Record& rec = m_records[r];
        for (uint32_t end = 0; end < 2; ++end) {
            Node& node = m_nodes[rec.end[end]];
            if (auto moved = swapRemove(node.edges, rec.edgePosition[end]))
                m_records[moved->record].edgePosition[moved->slot] = rec.edgePosition[end];
        }
    }
    void attachUses(Id r) {
        Record& rec = m_records[r];
        rec.usePosition.resize(rec.nodes.size());
        for (uint32_t i = 0; i < rec.nodes.size(); ++i) {
            Node& node = m_nodes[rec.nodes[i]];
            rec.usePosition[i] = static_cast<uint32_t>(node.uses.size());
            node.uses.push_back(Link{r, i});
        }
    }
    void detachUses(Id r) {
        Record& rec = m_records[r];
        for (uint32_t i = 0; i < rec.nodes.size(); ++i) {
            Node& node = m_nodes[rec.nodes[i]];
            if (auto moved = swapRemove(node.uses, rec.usePosition[i]))
                m_records[moved->record].usePosition[moved->slot] = rec.usePosition[i];
        }
    }

    // --- tableau constraints ----------------------------------------------------------------

    // The record's constraint over the classes' origins: every variable is its class's origin
    // plus its offset, and a fixed class's origin is a number.
    LayoutConstraint express(const Record& rec) {
        const LayoutExpression& e = *rec.reduced;
        double constant = e.constant() - rec.shift;
        std::vector<std::pair<Id, double>> byClass;
        for (size_t i = 0; i < rec.nodes.size(); ++i) {
            const Node& node = m_nodes[rec.nodes[i]];
            const double a = e.terms()[i].coefficient;
            if (node.cls == zeroClass()) {
                constant += a * (node.offset - m_nodes[kZeroNode].offset);
                continue;
            }
            constant += a * node.offset;
            auto it = std::find_if(byClass.begin(), byClass.end(),
                                   [&](const auto& entry) { return entry.first == node.cls; });
            if (it == byClass.end())
                byClass.emplace_back(node.cls, a);
            else
                it->second += a;
        }
        LayoutExpression expression(constant);
        for (const auto& [cls, a] : byClass)
            if (a != 0.0) expression += LayoutExpression(originOf(cls), a);
        return LayoutConstraint(expression, rec.constraint.relation(), rec.constraint.strength());
    }

    // The tableau constraints that mention one of the nodes, each once.
    std::vector<Id> recordsUsing(const std::vector<Id>& nodes) {
        const uint64_t mark = ++m_epoch;
        std::vector<Id> result;
        for (Id n : nodes) {
            for (const Link& link : m_nodes[n].uses) {
                Record& rec = m_records[link.record];
                if (rec.mark == mark) continue;
                rec.mark = mark;
                result.push_back(link.record);
            }
            ++m_work;
        }
        return result;
    }

    // Takes the records out of the tableau and adds them again in the classes' present terms.
    // Inside a transaction the old forms are kept in `undo`.
    void reexpress(const std::vector<Id>& records, const LayoutConstraint& shownAs, MergeUndo* undo) {
        for (Id r : records) m_tableau.remove(*m_records[r].internal);
        for (Id r : records) {
            Record& rec = m_records[r];
            if (undo) undo->internals.emplace_back(r, *rec.internal);
            rec.internal = express(rec);
            m_tableau.add(*rec.internal, shownAs);
        }
    }

    // --- merging and splitting --------------------------------------------------------------

    // u == v + offset joins their classes: the smaller one moves into the larger.
    MergeUndo merge(Id u, Id v, double offset, const LayoutConstraint& shownAs) {
        Id a = m_nodes[u].cls, b = m_nodes[v].cls;
        // origin(a) == origin(b) + d
        double d = m_nodes[v].offset + offset - m_nodes[u].offset;
        if (m_classes[a].members.size() > m_classes[b].members.size()) {
            std::swap(a, b);
            d = -d;
        }
        MergeUndo undo;
        undo.moved = a;
        undo.kept = b;
        undo.keptSize = m_classes[b].members.size();
        // Whose value changes its form: the moved side's, unless it carries the constant node;
        // then the kept side stops having an origin variable.
        const bool movedIsFixed = a == zeroClass();
        const std::vector<Id> records =
            recordsUsing(movedIsFixed ? m_classes[b].members : m_classes[a].members);
        const std::vector<Id>& moving = m_classes[a].members;
        undo.offsets.reserve(moving.size());
        std::vector<Id>& kept = m_classes[b].members;
        for (Id n : moving) {
            Node& node = m_nodes[n];
            undo.offsets.push_back(node.offset);
            node.offset += d;
            node.cls = b;
            node.position = static_cast<uint32_t>(kept.size());
            kept.push_back(n);
        }
        m_work += moving.size();
        reexpressInto(undo, records, shownAs);
        return undo;
    }

    void reexpressInto(MergeUndo& undo, const std::vector<Id>& records, const LayoutConstraint& shownAs) {
        try {
            reexpress(records, shownAs, &undo);
        } catch (...) {
            undoMerge(undo);
            throw;
        }
    }

    // The tableau is rolled back by the caller.
    void undoMerge(MergeUndo& undo) {
        for (auto& [r, internal] : undo.internals) m_records[r].internal = internal;
        undo.internals.clear();
        const std::vector<Id>& moved = m_classes[undo.moved].members;
        for (size_t i = 0; i < moved.size(); ++i) {
            Node& node = m_nodes[moved[i]];
            node.cls = undo.moved;
            node.position = static_cast<uint32_t>(i);
            node.offset = undo.offsets[i];
        }
        m_classes[undo.kept].members.resize(undo.keptSize);
    }

    // One side of the search after a tree edge is cut: a breadth-first walk over tree edges that
    // advances one adjacency entry per step.
    struct Search {
        std::vector<Id> seen;
        size_t head = 0, next = 0;
        uint64_t mark = 0;
    };

    bool step(Search& s) {
        if (s.head == s.seen.size()) return false;
        const Node& node = m_nodes[s.seen[s.head]];
        if (s.next == node.edges.size()) {
            ++s.head;
            s.next = 0;
            return s.head < s.seen.size();
        }
        const Link link = node.edges[s.next++];
        const Record& rec = m_records[link.record];
        if (rec.tree) {
            const Id other = rec.end[1 - link.slot];
            Node& o = m_nodes[other];
            if (o.mark != s.mark) {
                o.mark = s.mark;
                s.seen.push_back(other);
            }
        }
        return true;
    }

    // The tree edge r is gone from the adjacency lists: find the smaller side, and either a
    // redundant edge that joins the sides again or split the class.
    void cut(Id r) {
        const Record& rec = m_records[r];
        m_epoch += 2;
        Search a{{rec.end[0]}, 0, 0, m_epoch - 1}, b{{rec.end[1]}, 0, 0, m_epoch};
        m_nodes[rec.end[0]].mark = a.mark;
        m_nodes[rec.end[1]].mark = b.mark;
        Search* small = nullptr;
        for (;;) {
            ++m_work;
            if (!step(a)) {
                small = &a;
                break;
            }
            if (!step(b)) {
                small = &b;
                break;
            }
        }
        for (Id n : small->seen) {
            for (const Link& link : m_nodes[n].edges) {
                ++m_work;
                Record& candidate = m_records[link.record];
                if (candidate.tree || m_nodes[candidate.end[1 - link.slot]].mark == small->mark) continue;
                candidate.tree = true;  // still one class, with the same offsets
                return;
            }
        }
        split(small->seen, small->mark);
    }

    void split(const std::vector<Id>& side, uint64_t mark) {
        const Id old = m_nodes[side.front()].cls;
        const bool zeroMoves = m_nodes[kZeroNode].mark == mark && m_nodes[kZeroNode].cls == old;
        for (Id n : side) removeFromClass(n);
        const Id fresh = m_classes.insert(Class{side, std::nullopt});
        for (uint32_t i = 0; i < side.size(); ++i) {
            m_nodes[side[i]].cls = fresh;
            m_nodes[side[i]].position = i;
        }
        m_work += side.size();
        // The side that is no longer fixed, or the side cut off a free class, changes form.
        const std::vector<Id> records = recordsUsing(zeroMoves ? m_classes[old].members : side);
        if (records.empty()) return;
        // Taking a constraint away from a satisfiable system leaves it satisfiable, and a removal
        // must not fail: no limits while the constraints go back in.
        const size_t cells = m_tableau.cellLimit();
        const uint64_t work = m_tableau.workLimit();
        m_tableau.setCellLimit(0);
        m_tableau.setWorkLimit(0);
        try {
            reexpress(records, m_records[records.front()].constraint, nullptr);
        } catch (...) {
            m_tableau.setCellLimit(cells);
            m_tableau.setWorkLimit(work);
            throw;
        }
        m_tableau.setCellLimit(cells);
        m_tableau.setWorkLimit(work);
    }

    // --- adding and removing ----------------------------------------------------------------

    // x == y + offset (y: the constant node for x == offset), from a required equality with
    // one term, or two whose coefficients are opposite.
    static bool offsetForm(const LayoutConstraint& c, const LayoutExpression& e, double& offset) {
        if (!c.isRequired() || c.relation() != LayoutRelation::Equal) return false;
        const auto& t = e.terms();
        if (t.size() == 1) {
            offset = -e.constant() / t[0].coefficient;
        } else if (t.size() == 2 && t[0].coefficient == -t[1].coefficient) {
            offset = -e.constant() / t[0].coefficient;
        } else {
            return false;
        }
        return std::isfinite(offset);
    }

    static LayoutError unsatisfiable(const LayoutConstraint& constraint) {
        return LayoutError(fmt::format(
            "the required constraint {} contradicts the required constraints already present: remove one "
            "of them, or give one a strength below required",
            constraint.description()));
    }

    uint64_t work() const { return m_work + m_tableau.work(); }

    void add(const LayoutConstraint& constraint) {
        if (m_recordOf.count(constraint.identity()))
            throw LayoutError(
                fmt::format("the constraint {} is already in the solver: remove it first, or "
                            "add another constraint object with the same equation",
                            constraint.description()));
        if (!constraint.expression().isFinite())
            throw LayoutError(
                fmt::format("the constraint {} holds a number that is not finite: give finite "
                            "coefficients and constants",
                            constraint.description()));
        LayoutExpression reduced = constraint.expression().reduced();
        std::vector<Id> created;
        std::optional<MergeUndo> merged;
        const Id r = m_records.insert(Record(constraint));
        Record* rec = &m_records[r];
        double offset = 0.0;
        m_tableau.begin();
        try {
            if (offsetForm(constraint, reduced, offset)) {
                const auto& t = reduced.terms();
                rec->isEdge = true;
                rec->end[0] = nodeFor(t[0].variable, created);
                rec->end[1] = t.size() == 2 ? nodeFor(t[1].variable, created) : kZeroNode;
                rec->offset = offset;
                attachEdge(r);
                const Node &u = m_nodes[rec->end[0]], &v = m_nodes[rec->end[1]];
                if (u.cls == v.cls) {
                    // A cycle: the equality must already hold.
                    const double gap = u.offset - v.offset - offset;
                    const double scale =
                        std::max({1.0, std::abs(u.offset), std::abs(v.offset) + std::abs(offset)});
                    if (std::abs(gap) > kOffsetTolerance * scale) throw unsatisfiable(constraint);
                } else {
                    rec->tree = true;
                    merged = merge(rec->end[0], rec->end[1], offset, constraint);
                    rec = &m_records[r];
                }
            } else {
                rec->reduced = std::move(reduced);
                for (const LayoutExpression::Term& term : rec->reduced->terms()) {
                    const Id n = nodeFor(term.variable, created);
                    rec = &m_records[r];
                    rec->nodes.push_back(n);
                }
                attachUses(r);
                rec->internal = express(*rec);
                m_tableau.add(*rec->internal, constraint);
            }
            if (m_workLimit && work() > m_workLimit)
                throw LayoutError(fmt::format(
                    "adding {} would take the solver beyond its budget of {} cell operations: split the "
                    "layout into smaller systems, or raise the budget",
                    constraint.description(), m_workLimit));
        } catch (...) {
            m_tableau.rollback();
            if (merged) undoMerge(*merged);
            rec = &m_records[r];
            if (rec->isEdge && rec->end[0] != kNone) detachEdge(r);
            if (!rec->isEdge && rec->usePosition.size() == rec->nodes.size() && !rec->nodes.empty())
                detachUses(r);
            m_records.erase(r);
            for (auto it = created.rbegin(); it != created.rend(); ++it) releaseIfUnused(*it);
            throw;
        }
        m_tableau.commit();
        if (merged) {
            m_classes[merged->moved].members.clear();
            m_classes.erase(merged->moved);
        }
        m_recordOf.emplace(constraint.identity(), r);
    }

    void remove(const LayoutConstraint& constraint) {
        auto it = m_recordOf.find(constraint.identity());
        if (it == m_recordOf.end())
            throw LayoutError(
                fmt::format("the constraint {} is not in the solver: it was never added or is "
                            "already removed",
                            constraint.description()));
        const Id r = it->second;
        m_recordOf.erase(it);
        Record& rec = m_records[r];
        if (rec.isEdge) {
            detachEdge(r);
            if (rec.tree) cut(r);
            const Id ends[2] = {m_records[r].end[0], m_records[r].end[1]};
            m_records.erase(r);
            for (Id n : ends) releaseIfUnused(n);
        } else {
            m_tableau.remove(*rec.internal);
            detachUses(r);
            const std::vector<Id> nodes = std::move(rec.nodes);
            m_records.erase(r);
            for (Id n : nodes) releaseIfUnused(n);
        }
    }

    // --- state ------------------------------------------------------------------------------

    LayoutTableau m_tableau;
    Slots<Node> m_nodes;
    Slots<Class> m_classes;
    Slots<Record> m_records;
    std::unordered_map<const void*, Id> m_nodeOf;
    std::unordered_map<const void*, Id> m_recordOf;
    std::unordered_map<const void*, EditInfo> m_edits;
    uint64_t m_epoch = 0;
    uint64_t m_work = 0;  // nodes and edges visited by the classes, over the solver's life
    uint64_t m_workLimit = 0;
};

LayoutSolver::LayoutSolver() : m_impl(std::make_unique<Impl>()) {}
LayoutSolver::~LayoutSolver() = default;

void LayoutSolver::addConstraint(const LayoutConstraint& constraint) {
    m_impl->add(constraint);
}

void LayoutSolver::removeConstraint(const LayoutConstraint& constraint) {
    m_impl->remove(constraint);
}

bool LayoutSolver::hasConstraint(const LayoutConstraint& constraint) const {
    return m_impl->m_recordOf.count(constraint.identity()) > 0;
}

size_t LayoutSolver::constraintCount() const {
    return m_impl->m_recordOf.size();
}

void LayoutSolver::addEditVariable(const LayoutVariable& variable, double strength) {
    if (m_impl->m_edits.count(variable.identity()))
        throw LayoutError(
            fmt::format("{} is already an edit variable: remove it before adding it again", variable.name()));
    if (!(strength > 0.0) || strength >= LayoutConstraint::kRequired)
        throw LayoutError(
            fmt::format("edit variable {} needs a strength between 0 and {} (exclusive), not {}: "
                        "a required edit could make later suggestions unsatisfiable",
                        variable.name(), LayoutConstraint::kRequired, strength));
    const double start = std::isfinite(variable.value()) ? variable.value() : 0.0;
    LayoutConstraint constraint(LayoutExpression(variable, 1.0, -start), LayoutRelation::Equal, strength);
    m_impl->add(constraint);
    m_impl->m_edits.emplace(variable.identity(), Impl::EditInfo{constraint, start});
}

void LayoutSolver::removeEditVariable(const LayoutVariable& variable) {
    auto it = m_impl->m_edits.find(variable.identity());
    if (it == m_impl->m_edits.end())
        throw LayoutError(
            fmt::format("{} is not an edit variable: add it with addEditVariable first", variable.name()));
    const LayoutConstraint constraint = it->second.constraint;
    m_impl->m_edits.erase(it);
    m_impl->remove(constraint);
}

bool LayoutSolver::hasEditVariable(const LayoutVariable& variable) const {
    return m_impl->m_edits.count(variable.identity()) > 0;
}

void LayoutSolver::suggestValue(const LayoutVariable& variable, double value) {
    auto it = m_impl->m_edits.find(variable.identity());
    if (it == m_impl->m_edits.end())
        throw LayoutError(
            fmt::format("{} is not an edit variable: add it with addEditVariable before "
                        "suggesting values",
                        variable.name()));
    if (!std::isfinite(value))
        throw LayoutError(fmt::format("the value suggested for {} is not a finite number", variable.name()));
    const double delta = value - it->second.constant;
    it->second.constant = value;
    Impl::Record& rec = m_impl->m_records[m_impl->m_recordOf.at(it->second.constraint.identity())];
    // Kept with the record, so the edit keeps its value when a merge or split writes it anew.
    rec.shift += delta;
    m_impl->m_tableau.shiftConstant(*rec.internal, delta);
}

void LayoutSolver::updateVariables() {
    Impl& s = *m_impl;
    s.m_nodes.forEach([&](Id n, Impl::Node& node) {
        if (!node.variable) return;
        const double v = s.nodeValue(n);
        node.variable->setValue(v == 0.0 ? 0.0 : v);  // no -0
    });
}

double LayoutSolver::valueOf(const LayoutVariable& variable) const {
    auto it = m_impl->m_nodeOf.find(variable.identity());
    return it == m_impl->m_nodeOf.end() ? 0.0 : m_impl->nodeValue(it->second);
}

double LayoutSolver::objectiveValue() const {
    return m_impl->m_tableau.objectiveValue();
}

void LayoutSolver::setCellLimit(size_t cells) {
    m_impl->m_tableau.setCellLimit(cells);
}

size_t LayoutSolver::cellCount() const {
    return m_impl->m_tableau.cellCount();
}

void LayoutSolver::setWorkLimit(uint64_t cellOperations) {
    m_impl->m_workLimit = cellOperations;
    m_impl->m_tableau.setWorkLimit(cellOperations);
}

uint64_t LayoutSolver::work() const {
    return m_impl->work();
}

void LayoutSolver::reset() {
    const size_t cells = m_impl->m_tableau.cellLimit();
    const uint64_t work = m_impl->m_workLimit;
    m_impl = std::make_unique<Impl>();
    setCellLimit(cells);
    setWorkLimit(work);
}

}  // namespace platform
