// The layout engine on a vertical stack of N views, the system a stack view puts on it; the
// same system and steps as bench/kiwi_layout.py, so the two print comparable figures:
//
//   build:   the stack S pinned at (0, 0) and 400 wide; each view appended as the stack view
//            does (leading and trailing sides, a fixed height, the last margin moved down to it
//            and a glue constraint to the view above), then solved;
//   remove:  the middle view leaves (every constraint involving it goes) and its neighbours are
//            glued together, then solved;
//   width:   the stack's width constant changed (its constraint removed and added again), then
//            solved.
//
// Each benchmark reports the process's peak resident memory (max_rss_mib); the peak only grows,
// so run one size at a time to read it for that size:
//
//   build/bin/bench_layout --benchmark_counter_tabular=true
//   build/bin/bench_layout --benchmark_filter='/10000$'
//   /usr/bin/python3 bench/kiwi_layout.py

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/layout/LayoutEngine.h"
#include "platform/ui/layout/LayoutError.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutEngine;
using platform::LayoutItem;
using platform::LayoutRelation;

constexpr auto EQ = LayoutRelation::Equal;

// About 1 GiB of tableau (some 30 bytes a cell with its index): a size that would go beyond it
// stops with a message instead of taking the machine's memory. (The stack's offset equalities
// take no tableau cells; the budget guards against that changing.)
constexpr size_t kCellBudget = size_t{32} << 20;

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
}

struct Stack {
    LayoutEngine engine;
    LayoutItem stack{"S"};
    std::vector<std::unique_ptr<LayoutItem>> views;
    LayoutConstraint width = pin(LayoutAttribute::Left, 0.0);
    std::optional<LayoutConstraint> lastMargin;

    LayoutConstraint pin(LayoutAttribute a, double value) {
        return engine.addConstraint(stack, a, EQ, nullptr, a, 1.0, value);
    }

    explicit Stack(int n) {
        engine.solver().setCellLimit(kCellBudget);
        pin(LayoutAttribute::Top, 0.0);
        width = pin(LayoutAttribute::Width, 400.0);
        for (int i = 0; i < n; ++i) append(i);
    }

    // The view's own constraints: sides and height.
    void place(const LayoutItem& v, int i) {
        engine.addConstraint(v, LayoutAttribute::Leading, EQ, &stack, LayoutAttribute::Leading, 1.0, 20.0);
        engine.addConstraint(stack, LayoutAttribute::Trailing, EQ, &v, LayoutAttribute::Trailing, 1.0, 20.0);
        engine.addConstraint(v, LayoutAttribute::Height, EQ, nullptr, LayoutAttribute::Height, 1.0,
                             20.0 + i % 7);
    }
    void glue(const LayoutItem& upper, const LayoutItem& lower) {
        engine.addConstraint(lower, LayoutAttribute::Top, EQ, &upper, LayoutAttribute::Bottom, 1.0, 8.0);
    }

    void append(int i) {
        views.push_back(std::make_unique<LayoutItem>("v" + std::to_string(i)));
        const LayoutItem& v = *views.back();
        place(v, i);
        if (lastMargin) engine.removeConstraint(*lastMargin);
        if (views.size() == 1)
            engine.addConstraint(v, LayoutAttribute::Top, EQ, &stack, LayoutAttribute::Top, 1.0, 20.0);
        else
            glue(*views[views.size() - 2], v);
        lastMargin =
            engine.addConstraint(stack, LayoutAttribute::Bottom, EQ, &v, LayoutAttribute::Bottom, 1.0, 20.0);
    }
};

// Builds the stack, or says why it cannot.
std::unique_ptr<Stack> buildStack(benchmark::State& state, int n) {
    try {
        return std::make_unique<Stack>(n);
    } catch (const platform::LayoutError& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

void BM_BuildAndSolve(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    size_t cells = 0;
    for (auto _ : state) {
        auto s = buildStack(state, n);
        if (!s) break;
        s->engine.solve();
        benchmark::DoNotOptimize(s->views.back()->frame());
        cells = s->engine.solver().cellCount();
        state.PauseTiming();  // the teardown is not part of the figure
        s.reset();
        state.ResumeTiming();
    }
    state.counters["tableau_cells"] = static_cast<double>(cells);
    state.counters["max_rss_mib"] = peakMiB();
}

void BM_RemoveMiddleAndReglue(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto stack = buildStack(state, n);
    if (!stack) return;
    Stack& s = *stack;
    s.engine.solve();
    const int mid = n / 2;
    for (auto _ : state) {
        const LayoutItem& above = *s.views[mid - 1];
        const LayoutItem& gone = *s.views[mid];
        const LayoutItem& below = *s.views[mid + 1];
        s.engine.removeItem(gone);
        s.glue(above, below);
        s.engine.solve();
        benchmark::DoNotOptimize(below.frame());
        state.PauseTiming();  // put the view back for the next round
        s.engine.removeItem(below);
        s.place(below, mid + 1);
        s.place(gone, mid);
        s.glue(above, gone);
        s.glue(gone, below);
        s.glue(below, *s.views[mid + 2]);
        state.ResumeTiming();
    }
    s.engine.solve();
    if (s.views[mid + 1]->frame().y != s.views[mid]->frame().y + s.views[mid]->frame().height + 8.0)
        state.SkipWithError("the stack is not glued back together");
    state.counters["max_rss_mib"] = peakMiB();
}

void BM_ChangeWidthConstant(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto stack = buildStack(state, n);
    if (!stack) return;
    Stack& s = *stack;
    double width = 400.0;
    for (auto _ : state) {
        s.engine.removeConstraint(s.width);
        width = width == 400.0 ? 401.0 : 400.0;
        s.width = s.pin(LayoutAttribute::Width, width);
        s.engine.solve();
        benchmark::DoNotOptimize(s.views.back()->frame());
    }
    if (s.views.back()->frame().width != width - 40.0)
        state.SkipWithError("the width did not reach the views");
    state.counters["max_rss_mib"] = peakMiB();
}

BENCHMARK(BM_BuildAndSolve)->Arg(100)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveMiddleAndReglue)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(3000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeWidthConstant)->Arg(100)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// layout-solve's default limits.
constexpr uint64_t kWorkLimit = 4000000000;  // layout-solve's defaults
constexpr size_t kCellLimit = 16000000;

void BM_AlikePreferences(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    uint64_t work = 0;
    int added = 0;
    for (auto _ : state) {
        LayoutItem view("v");
        LayoutEngine engine;
        engine.solver().setWorkLimit(kWorkLimit);
        engine.solver().setCellLimit(kCellLimit);
        added = 0;
        try {
            for (; added < n; ++added)
                engine.addConstraintWithStrength(view, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                                 LayoutAttribute::Width, 1.0, 100.0, 10.0);
        } catch (const platform::LayoutError&) {
        }
        work = engine.solver().work();
        engine.removeItem(view);
    }
    state.counters["added"] = added;
    state.counters["work_units"] = static_cast<double>(work);
    state.counters["ns_per_unit"] =
        benchmark::Counter(static_cast<double>(work) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["max_rss_mib"] = peakMiB();
}

void BM_InequalityChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    uint64_t work = 0;
    size_t cells = 0;
    int added = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<LayoutItem>> views;
        for (int i = 0; i < n; ++i) views.push_back(std::make_unique<LayoutItem>("v" + std::to_string(i)));
        LayoutEngine engine;
        engine.solver().setWorkLimit(kWorkLimit);
        engine.solver().setCellLimit(kCellLimit);
        added = 0;
        try {
            engine.addConstraintWithStrength(*views[0], LayoutAttribute::Top, LayoutRelation::Equal, nullptr,
                                             LayoutAttribute::Top, 1.0, 0.0, LayoutConstraint::kRequired);
            for (int i = 1; i < n; ++i, ++added)
                for (LayoutRelation r : {LayoutRelation::GreaterOrEqual, LayoutRelation::LessOrEqual})
                    engine.addConstraintWithStrength(*views[i], LayoutAttribute::Top, r, views[i - 1].get(),
                                                     LayoutAttribute::Top, 1.0, 8.0,
                                                     LayoutConstraint::kRequired);
        } catch (const platform::LayoutError&) {
        }
        work = engine.solver().work();
        cells = engine.solver().cellCount();
    }
    state.counters["added"] = added;
    state.counters["tableau_cells"] = static_cast<double>(cells);
    state.counters["ns_per_unit"] =
        benchmark::Counter(static_cast<double>(work) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["max_rss_mib"] = peakMiB();
}

}  // namespace

// The limits on the systems that once broke them: the time a unit of counted work takes (the
// work limit's 4e9 units are meant as a few seconds, so ns_per_unit should stay near 1 or
// below), and the peak memory at the cell limit (16 million cells, meant as about 0.5 GB).
//   alike:  N identical preferences (width == 100 at weight 10) until the work limit refuses
//           one (50,000 once took 548 s under it);
//   chain:  N views, each top held between two inequalities on the one above, until the cell
//           limit refuses one. Run it alone to read its max_rss_mib:
//           build/bin/bench_layout --benchmark_filter=chain
BENCHMARK(BM_AlikePreferences)->Name("alike")->Arg(5000)->Arg(50000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_InequalityChain)->Name("chain")->Arg(2000)->Arg(8000)->Unit(benchmark::kSecond)->Iterations(1);

BENCHMARK_MAIN();
