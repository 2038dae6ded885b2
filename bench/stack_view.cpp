// The stack view itself on the view model's constraints: the cost of the view layer (constraint
// objects, one engine per tree, the rule that a leaving view takes its constraints, frames
// written back) on top of the solver that bench_layout measures alone.
//
//   build:   N rows of fixed height appended to a stack, then laid out;
//   remove:  the middle row leaves the stack (its gap closed), then laid out; put back after
//            it, outside the timing;
//   constant: the first row's height constant changed, then laid out (every row below moves).
//
//   build/bin/bench_stack_view

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/ui/ViewConstraint.h"
#include "plugin/framework/Classes/VEXAStackView.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutRelation;
using platform::View;
using platform::ViewConstraint;

struct Column {
    std::shared_ptr<KOPAStackView> stack = std::make_shared<KOPAStackView>(platform::Rect{0, 0, 400, 0});
    std::vector<std::shared_ptr<View>> rows;
    std::vector<std::shared_ptr<ViewConstraint>> heights;

    explicit Column(int n) {
        for (int i = 0; i < n; ++i) {
            auto row = std::make_shared<View>();
            heights.push_back(
                ViewConstraint::make(row, LayoutAttribute::Height, LayoutRelation::Equal, 20.0));
            row->addConstraint(heights.back());
            stack->appendView(row);
            rows.push_back(row);
        }
        stack->layoutSubtreeIfNeeded();
    }
};

void BM_StackBuild(benchmark::State& state) {
    for (auto _ : state) {
        Column column(int(state.range(0)));
        benchmark::DoNotOptimize(column.stack->frame().height);
    }
}
BENCHMARK(BM_StackBuild)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_StackRemoveMiddle(benchmark::State& state) {
    Column column(int(state.range(0)));
    const size_t middle = column.rows.size() / 2;
    for (auto _ : state) {
        column.rows[middle]->removeFromSuperview();
        column.stack->layoutSubtreeIfNeeded();
        benchmark::DoNotOptimize(column.stack->frame().height);
        state.PauseTiming();
        column.stack->insertView(column.rows[middle], column.rows[middle - 1].get());
        column.stack->layoutSubtreeIfNeeded();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StackRemoveMiddle)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_StackChangeConstant(benchmark::State& state) {
    Column column(int(state.range(0)));
    double height = 20;
    for (auto _ : state) {
        height = height == 20 ? 30 : 20;
        column.heights.front()->setConstant(height);
        column.stack->layoutSubtreeIfNeeded();
        benchmark::DoNotOptimize(column.stack->frame().height);
    }
}
BENCHMARK(BM_StackChangeConstant)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
