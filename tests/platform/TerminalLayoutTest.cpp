// The order and widths in which the terminal draws a window's views: frames read top to bottom
// and left to right, side-by-side controls on one line, a solved stack's rows in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/TerminalLayout.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/Window.h"
#include "platform/ui/layout/LayoutEngine.h"
#include "tests/support/UiTestSupport.h"

namespace {

using platform::Rect;
using platform::TerminalLayout;
constexpr size_t kTop = TerminalLayout::kNoParent;

// The lines as item indices, e.g. {{0}, {2, 1}}.
std::vector<std::vector<size_t>> order(const std::vector<TerminalLayout::Line>& lines) {
    std::vector<std::vector<size_t>> result;
    for (const auto& line : lines) {
        result.emplace_back();
        for (const auto& cell : line) result.back().push_back(cell.item);
    }
    return result;
}

TEST(TerminalLayoutTest, OrdersByFramesAndJoinsSideBySideControls) {
    struct Case {
        const char* what;
        std::vector<TerminalLayout::Item> items;
        std::vector<std::vector<size_t>> expected;
    };
    const std::vector<Case> cases{
        {"rows top to bottom, whatever the tree order",
         {{{0, 60, 100, 20}, kTop}, {{0, 0, 100, 20}, kTop}, {{0, 30, 100, 20}, kTop}},
         {{1}, {2}, {0}}},
        {"side by side, left to right",
         {{{200, 0, 80, 20}, kTop}, {{0, 0, 80, 20}, kTop}, {{0, 40, 300, 20}, kTop}},
         {{1, 0}, {2}}},
        {"a row is the first frame's band: a lower neighbour overlapping it joins",
         {{{0, 0, 50, 64}, kTop}, {{100, 10, 300, 24}, kTop}, {{100, 40, 300, 100}, kTop}},
         {{0, 1}, {2}}},
        {"a view drawing lines of its own (a table) never shares one, even side by side",
         {{{0, 0, 200, 100}, kTop, true},
          {{220, 0, 200, 100}, kTop, true},
          {{0, 120, 80, 20}, kTop},
          {{100, 120, 80, 20}, kTop}},
         {{0}, {1}, {2, 3}}},
        {"frames one over the other never share a line",
         {{{0, 0, 100, 22}, kTop}, {{0, 0, 100, 22}, kTop}, {{50, 0, 100, 22}, kTop}},
         {{0}, {1}, {2}}},
        {"without usable frames the tree order stays",
         {{{0, 50, 100, 20}, kTop}, {{0, 0, 0, 0}, kTop}, {{0, 10, 100, 20}, kTop}},
         {{0}, {1}, {2}}},
        {"a group has a line of its own, its subviews follow before the next row",
         {{{0, 100, 400, 50}, kTop},
          {{200, 0, 50, 20}, 0},
          {{0, 0, 50, 20}, 0},
          {{0, 0, 400, 50}, kTop},
          {{300, 0, 80, 20}, kTop}},
         {{3}, {4}, {0}, {2, 1}}},
    };
    for (const Case& c : cases) EXPECT_EQ(order(TerminalLayout::arrange(c.items, 80)), c.expected) << c.what;
}

TEST(TerminalLayoutTest, WidthsFollowTheFramesWithinTheTerminal) {
    struct Case {
        std::vector<double> frameWidths;
        size_t width;
        std::vector<std::vector<size_t>> expected;  // cell widths per line
    };
    const std::vector<Case> cases{
        {{100, 300}, 81, {{20, 60}}},
        {{100, 100, 100}, 80, {{26, 26, 26}}},
        {{10, 390}, 81, {{12, 68}}},  // the minimum holds, the rest goes to the other
        {{50, 50, 50, 50, 50, 50, 50}, 40, {{13, 13, 12}, {13, 13, 12}, {40}}},  // wrapped
        {{50, 50}, 8, {{8}, {8}}},                                               // too narrow for two cells
    };
    for (const Case& c : cases) {
        std::vector<TerminalLayout::Item> items;
        double x = 0;
        for (double w : c.frameWidths) {
            items.push_back({{x, 0, w, 20}, kTop});
            x += w;
        }
        std::vector<std::vector<size_t>> widths;
        for (const auto& line : TerminalLayout::arrange(items, c.width)) {
            widths.emplace_back();
            for (const auto& cell : line) widths.back().push_back(cell.width);
        }
        EXPECT_EQ(widths, c.expected) << c.width;
    }
}

TEST(TerminalLayoutTest, SharesSumToTheWidthAndFollowTheWeights) {
    std::mt19937 rng(1312);
    std::uniform_int_distribution<int> count(1, 12), total(0, 300);
    std::uniform_real_distribution<double> weight(0.5, 500.0);
    for (int round = 0; round < 2000; ++round) {
        std::vector<double> weights(static_cast<size_t>(count(rng)));
        for (double& w : weights) w = weight(rng);
        const size_t t = static_cast<size_t>(total(rng));
        const auto shares = TerminalLayout::share(weights, t, 12);
        ASSERT_EQ(std::accumulate(shares.begin(), shares.end(), size_t{0}), t) << round;
        const size_t floor = std::min<size_t>(12, t / weights.size());
        for (size_t i = 0; i < weights.size(); ++i) {
            ASSERT_GE(shares[i], floor) << round;
            for (size_t j = 0; j < weights.size(); ++j) {
                if (weights[i] > weights[j]) {
                    ASSERT_GE(shares[i] + 1, shares[j]) << round;
                }
            }
        }
    }
}

TEST(TerminalLayoutTest, DeepAndWideTreesDrawEveryViewOnce) {
    struct Case {
        const char* what;
        size_t count;
        bool nested;
    };
    for (const Case& c : std::vector<Case>{{"deep", 200000, true}, {"wide", 200000, false}}) {
        std::vector<TerminalLayout::Item> items;
        for (size_t i = 0; i < c.count; ++i)
            items.push_back({{static_cast<double>(i % 7) * 10, static_cast<double>(i % 13), 10, 5},
                             c.nested && i > 0 ? i - 1 : kTop});
        const auto lines = TerminalLayout::arrange(items, 80);
        std::vector<size_t> seen(c.count, 0);
        for (const auto& line : lines)
            for (const auto& cell : line) ++seen[cell.item];
        EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](size_t n) { return n == 1; })) << c.what;
    }
}

// A stack solved by the layout engine draws its rows in stack order, however its views were
// added to the window.
class TerminalLayoutWindowTest : public testsupport::UiTest {};

TEST_F(TerminalLayoutWindowTest, ASolvedStackDrawsItsRowsInOrder) {
    using platform::LayoutAttribute;
    using platform::LayoutItem;
    constexpr auto EQ = platform::LayoutRelation::Equal;
    constexpr int n = 12;
    platform::LayoutEngine engine;
    LayoutItem stack("stack");
    engine.addConstraint(stack, LayoutAttribute::Left, EQ, nullptr, LayoutAttribute::Left, 1.0, 0.0);
    engine.addConstraint(stack, LayoutAttribute::Top, EQ, nullptr, LayoutAttribute::Top, 1.0, 0.0);
    engine.addConstraint(stack, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1.0, 400.0);
    std::vector<std::unique_ptr<LayoutItem>> rows;
    for (int i = 0; i < n; ++i) {
        rows.push_back(std::make_unique<LayoutItem>("row" + std::to_string(i)));
        const LayoutItem& v = *rows.back();
        engine.addConstraint(v, LayoutAttribute::Leading, EQ, &stack, LayoutAttribute::Leading, 1.0, 20.0);
        engine.addConstraint(stack, LayoutAttribute::Trailing, EQ, &v, LayoutAttribute::Trailing, 1.0, 20.0);
        engine.addConstraint(v, LayoutAttribute::Height, EQ, nullptr, LayoutAttribute::Height, 1.0, 22.0);
        if (i == 0)
            engine.addConstraint(v, LayoutAttribute::Top, EQ, &stack, LayoutAttribute::Top, 1.0, 8.0);
        else
            engine.addConstraint(v, LayoutAttribute::Top, EQ, rows[i - 1].get(), LayoutAttribute::Bottom, 1.0,
                                 8.0);
    }
    // The fourth row leaves and its neighbours close the gap.
    engine.removeItem(*rows[3]);
    engine.addConstraint(*rows[4], LayoutAttribute::Top, EQ, rows[2].get(), LayoutAttribute::Bottom, 1.0,
                         8.0);
    engine.solve();

    auto window = std::make_shared<platform::Window>("Stack");
    std::vector<int> added;
    for (int i = 0; i < n; ++i)
        if (i != 3) added.push_back(i);
    std::shuffle(added.begin(), added.end(), std::mt19937(5));
    for (int i : added) {
        auto button = std::make_shared<platform::Button>("Row " + std::to_string(i));
        button->setIdentifier("row" + std::to_string(i));
        button->setFrame(rows[static_cast<size_t>(i)]->frame());
        window->contentView()->addSubview(button);
    }
    // Two buttons side by side under the stack.
    const double bottom = rows[n - 1]->frame().y + rows[n - 1]->frame().height;
    for (const char* title : {"OK", "Cancel"}) {
        auto button = std::make_shared<platform::Button>(title);
        button->setIdentifier(title);
        button->setFrame(Rect{std::string(title) == "OK" ? 300.0 : 200.0, bottom + 20, 80, 22});
        window->contentView()->addSubview(button);
    }
    std::istringstream drawn(platform::TerminalRenderer::renderWindow(*window));
    std::vector<std::string> lines;
    for (std::string line; std::getline(drawn, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), static_cast<size_t>(1 + (n - 1) + 1)) << drawn.str();
    size_t k = 1;
    for (int i = 0; i < n; ++i) {
        if (i == 3) continue;
        EXPECT_NE(lines[k++].find("< Row " + std::to_string(i) + " >"), std::string::npos) << lines[k - 1];
    }
    // One line, Cancel (left) before OK, each numbered as the commands name it.
    const std::string& last = lines.back();
    EXPECT_EQ(last.rfind("#13 Cancel < Cancel >", 0), 0u) << last;
    EXPECT_NE(last.find("#12 OK < OK >"), std::string::npos) << last;
    EXPECT_LE(platform::TerminalRenderer::displayWidth(last), 80u) << last;
}

}  // namespace
