// The stack view: its column as frames after the layout pass, the gap closing on removal, the
// setters that move nothing, and random edits checked against a stack built afresh.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/ui/ViewConstraint.h"
#include "platform/ui/layout/LayoutError.h"
#include "plugin/framework/Classes/VEXAStackView.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutRelation;
using platform::Rect;
using platform::View;
using platform::ViewConstraint;
using ViewPtr = std::shared_ptr<View>;

constexpr double kStackWidth = 300;

// A row of a given height; a centred row also has its own width.
ViewPtr makeRow(const std::string& name, double height, double width = 0) {
    auto v = std::make_shared<View>();
    v->setIdentifier(name);
    v->addConstraint(ViewConstraint::make(v, LayoutAttribute::Height, LayoutRelation::Equal, height));
    if (width > 0)
        v->addConstraint(ViewConstraint::make(v, LayoutAttribute::Width, LayoutRelation::Equal, width));
    return v;
}

std::shared_ptr<KOPAStackView> makeStack() {
    auto s = std::make_shared<KOPAStackView>(Rect{0, 0, kStackWidth, 0});
    s->setIdentifier("stack");
    return s;
}

void expectFrame(const View& v, Rect expected) {
    EXPECT_NEAR(v.frame().x, expected.x, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().y, expected.y, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().width, expected.width, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().height, expected.height, 1e-6) << v.identifier();
}

// A full-width row of the default 300-point stack: 20 from each side.
Rect rowAt(double y, double height) {
    return {20, y, kStackWidth - 40, height};
}

TEST(StackViewTest, ANewStackHasItsDefaultMarginsAndPadding) {
    auto s = makeStack();
    EXPECT_EQ(s->leadingMargin(), 20.0);
    EXPECT_EQ(s->trailingMargin(), 20.0);
    EXPECT_EQ(s->firstMargin(), 20.0);
    EXPECT_EQ(s->lastMargin(), 20.0);
    EXPECT_EQ(s->defaultPadding(), 8.0);
    EXPECT_TRUE(s->glueConstraints().empty());
    EXPECT_EQ(s->firstMarginConstraint(), nullptr);
    EXPECT_EQ(s->lastMarginConstraint(), nullptr);
}

TEST(StackViewTest, OneViewHangsBetweenTheMarginsWithoutGlue) {
    auto s = makeStack();
    auto a = makeRow("a", 30);
    s->appendView(a);
    s->layoutSubtreeIfNeeded();
    expectFrame(*a, rowAt(20, 30));
    expectFrame(*s, {0, 0, kStackWidth, 70});
    EXPECT_TRUE(s->glueConstraints().empty());
    EXPECT_EQ(s->constraints().size(), 4u);  // leading, trailing, first and last margin
    EXPECT_FALSE(a->translatesAutoresizingMaskIntoConstraints());
    EXPECT_TRUE(s->firstMarginConstraint()->involves(a.get()));
    EXPECT_TRUE(s->lastMarginConstraint()->involves(a.get()));
}

TEST(StackViewTest, EachAppendGluesTheNewViewBelowTheLastWithItsPadding) {
    auto s = makeStack();
    auto a = makeRow("a", 30), b = makeRow("b", 10), c = makeRow("c", 25);
    s->appendView(a);
    s->appendView(b, 15);
    s->appendView(c);
    s->layoutSubtreeIfNeeded();
    expectFrame(*a, rowAt(20, 30));
    expectFrame(*b, rowAt(65, 10));
    expectFrame(*c, rowAt(83, 25));
    expectFrame(*s, {0, 0, kStackWidth, 128});
    ASSERT_EQ(s->glueConstraints().size(), 2u);
    EXPECT_EQ(s->glueConstraints()[1]->firstView(), c.get());  // the lower view first
    EXPECT_EQ(s->glueConstraints()[1]->secondView(), b.get());
    EXPECT_EQ(s->glueConstraints()[0]->constant(), 15.0);
    EXPECT_TRUE(s->lastMarginConstraint()->involves(c.get()));
}

TEST(StackViewTest, PlainAdditionsAppendAndSetSubviewsArrangesInArrayOrder) {
    auto s = makeStack();
    auto a = makeRow("a", 30), b = makeRow("b", 10), c = makeRow("c", 20);
    s->addSubview(a);
    s->addSubview(b);
    s->layoutSubtreeIfNeeded();
    expectFrame(*b, rowAt(58, 10));

    s->setSubviews({c, a});
    EXPECT_EQ(s->subviews(), (std::vector<ViewPtr>{c, a}));
    EXPECT_EQ(b->superview(), nullptr);
    s->layoutSubtreeIfNeeded();
    expectFrame(*c, rowAt(20, 20));
    expectFrame(*a, rowAt(48, 30));
    expectFrame(*s, {0, 0, kStackWidth, 98});

    s->setSubviews({});
    EXPECT_TRUE(s->subviews().empty());
    EXPECT_TRUE(s->constraints().empty());
    EXPECT_TRUE(s->glueConstraints().empty());
}

TEST(StackViewTest, RemovingTheMiddleViewGluesItsNeighboursWithTheCurrentDefaultPadding) {
    auto s = makeStack();
    auto a = makeRow("a", 30), b = makeRow("b", 10), c = makeRow("c", 20);
    s->appendView(a);
    s->appendView(b, 30);
    s->appendView(c, 40);
    s->setDefaultPadding(12);
    b->removeFromSuperview();
    ASSERT_EQ(s->glueConstraints().size(), 1u);
    const auto& glue = s->glueConstraints()[0];
    EXPECT_EQ(glue->firstView(), c.get());
    EXPECT_EQ(glue->secondView(), a.get());
    EXPECT_EQ(glue->constant(), 12.0);
    for (const auto& constraint : s->constraints()) EXPECT_FALSE(constraint->involves(b.get()));
    s->layoutSubtreeIfNeeded();
    expectFrame(*a, rowAt(20, 30));
    expectFrame(*c, rowAt(62, 20));
    expectFrame(*s, {0, 0, kStackWidth, 102});
}

TEST(StackViewTest, RemovingAnEndMovesTheMarginToTheNewEnd) {
    struct Case {
        std::string name;
        size_t removed;
        std::vector<Rect> frames;  // of the remaining views
        double stackHeight;
    };
    const std::vector<Case> cases = {
        {"first", 0, {rowAt(20, 10), rowAt(38, 20)}, 78},
        {"last", 2, {rowAt(20, 30), rowAt(58, 10)}, 88},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = makeStack();
        std::vector<ViewPtr> rows{makeRow("a", 30), makeRow("b", 10), makeRow("c", 20)};
        for (auto& r : rows) s->appendView(r);
        s->setFirstMargin(50);  // constraints made from now on use these
        s->setLastMargin(50);
        s->setFirstMargin(20);
        s->setLastMargin(20);
        rows[c.removed]->removeFromSuperview();
        rows.erase(rows.begin() + ptrdiff_t(c.removed));
        s->layoutSubtreeIfNeeded();
        for (size_t i = 0; i < rows.size(); ++i) expectFrame(*rows[i], c.frames[i]);
        EXPECT_NEAR(s->frame().height, c.stackHeight, 1e-6);
        EXPECT_EQ(s->glueConstraints().size(), 1u);
        EXPECT_TRUE(s->firstMarginConstraint()->involves(rows.front().get()));
        EXPECT_TRUE(s->lastMarginConstraint()->involves(rows.back().get()));
    }
}

TEST(StackViewTest, RemovingTheOnlyViewLeavesNoConstraintAndTheNextAppendStartsAfresh) {
    auto s = makeStack();
    auto a = makeRow("a", 30);
    s->appendView(a);
    auto oldFirst = s->firstMarginConstraint();
    a->removeFromSuperview();
    EXPECT_TRUE(s->constraints().empty());
    EXPECT_FALSE(oldFirst->isActive());
    auto b = makeRow("b", 15);
    s->appendView(b, 99);
    EXPECT_NE(s->firstMarginConstraint(), oldFirst);
    EXPECT_TRUE(s->firstMarginConstraint()->involves(b.get()));
    EXPECT_EQ(s->constraints().size(), 4u);
    s->layoutSubtreeIfNeeded();
    expectFrame(*b, rowAt(20, 15));
    EXPECT_NEAR(s->frame().height, 55, 1e-6);
}

TEST(StackViewTest, SettersMoveNothingUntilANewConstraintUsesThem) {
    auto s = makeStack();
    auto a = makeRow("a", 30), b = makeRow("b", 10);
    s->appendView(a);
    s->appendView(b);
    s->setLeadingMargin(5);
    s->setTrailingMargin(5);
    s->setFirstMargin(1);
    s->setLastMargin(40);
    s->setDefaultPadding(2);
    s->layoutSubtreeIfNeeded();
    expectFrame(*a, rowAt(20, 30));
    expectFrame(*b, rowAt(58, 10));
    EXPECT_NEAR(s->frame().height, 88, 1e-6);

    auto c = makeRow("c", 20);
    s->appendView(c);
    s->layoutSubtreeIfNeeded();
    expectFrame(*c, {5, 70, kStackWidth - 10, 20});  // new side margins, new default padding
    EXPECT_NEAR(s->frame().height, 130, 1e-6);       // the new last margin shows
    expectFrame(*a, rowAt(20, 30));                  // the first margin was made before
}

TEST(StackViewTest, ACentredViewSitsInTheMiddleAtLeastTheMarginsFromTheSides) {
    auto s = makeStack();
    auto narrow = makeRow("narrow", 10, 100);
    auto wide = makeRow("wide", 10, 400);
    auto full = makeRow("full", 10);
    s->appendView(narrow, 8, true);
    s->appendView(full);
    s->layoutSubtreeIfNeeded();
    expectFrame(*narrow, {100, 20, 100, 10});
    expectFrame(*full, rowAt(38, 10));
    // One wider than the column widens the stack (its width is only preferred) to keep the gaps.
    s->appendView(wide, 8, true);
    s->layoutSubtreeIfNeeded();
    EXPECT_NEAR(s->frame().width, 440, 1e-6);
    expectFrame(*wide, {20, 56, 400, 10});
    expectFrame(*narrow, {170, 20, 100, 10});
    expectFrame(*full, {20, 38, 400, 10});
}

TEST(StackViewTest, AnAppendTheStacksFixedFrameCannotHoldIsRefusedAndChangesNothing) {
    auto window = std::make_shared<View>(Rect{0, 0, 500, 500});
    auto s = makeStack();
    s->setFrame({0, 0, kStackWidth, 100});  // inside a view, a translating stack keeps this
    window->addSubview(s);
    auto a = makeRow("a", 60), b = makeRow("b", 10);
    s->appendView(a);
    auto constraintsBefore = s->constraints();
    EXPECT_THROW(s->appendView(b), platform::LayoutError);
    EXPECT_EQ(b->superview(), nullptr);
    EXPECT_EQ(s->subviews(), std::vector<ViewPtr>{a});
    EXPECT_EQ(s->constraints(), constraintsBefore);
    EXPECT_TRUE(s->glueConstraints().empty());
    EXPECT_TRUE(s->lastMarginConstraint()->involves(a.get()));
    window->layoutSubtreeIfNeeded();
    expectFrame(*a, rowAt(20, 60));
    // Once the stack may grow, the same view goes in.
    s->setTranslatesAutoresizingMaskIntoConstraints(false);
    window->addConstraints(
        {ViewConstraint::make(s, LayoutAttribute::Left, LayoutRelation::Equal, window, LayoutAttribute::Left,
                              1.0, 0.0),
         ViewConstraint::make(s, LayoutAttribute::Top, LayoutRelation::Equal, window, LayoutAttribute::Top,
                              1.0, 0.0),
         ViewConstraint::make(s, LayoutAttribute::Width, LayoutRelation::Equal, kStackWidth)});
    s->appendView(b);
    window->layoutSubtreeIfNeeded();
    expectFrame(*b, rowAt(88, 10));
    expectFrame(*s, {0, 0, kStackWidth, 118});
}

TEST(StackViewTest, ReappendingAnArrangedViewMovesItToTheBottom) {
    auto s = makeStack();
    auto a = makeRow("a", 30), b = makeRow("b", 10), c = makeRow("c", 20);
    s->appendView(a);
    s->appendView(b);
    s->appendView(c);
    s->appendView(a);
    EXPECT_EQ(s->subviews(), (std::vector<ViewPtr>{b, c, a}));
    EXPECT_EQ(s->glueConstraints().size(), 2u);
    for (const auto& glue : s->glueConstraints()) EXPECT_NE(glue->firstView(), glue->secondView());
    s->layoutSubtreeIfNeeded();
    expectFrame(*b, rowAt(20, 10));
    expectFrame(*c, rowAt(38, 20));
    expectFrame(*a, rowAt(66, 30));
}

TEST(StackViewTest, InsertingTiesTheViewBetweenItsNeighbours) {
    struct Case {
        std::string name;
        int after;  // index of the preceding view; -1: none
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {"after the first", 0, {"a", "x", "b", "c"}},
        {"after the last", 2, {"a", "b", "c", "x"}},
        {"no preceding view", -1, {"a", "b", "c", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = makeStack();
        std::vector<ViewPtr> rows{makeRow("a", 30), makeRow("b", 10), makeRow("c", 20)};
        for (auto& r : rows) s->appendView(r);
        auto x = makeRow("x", 5);
        s->insertView(x, c.after < 0 ? nullptr : rows[size_t(c.after)].get());
        std::vector<std::string> order;
        for (auto& v : s->subviews()) order.push_back(v->identifier());
        EXPECT_EQ(order, c.order);
        EXPECT_EQ(s->glueConstraints().size(), 3u);
        s->layoutSubtreeIfNeeded();
        double y = 20;
        for (auto& v : s->subviews()) {
            expectFrame(*v, rowAt(y, v->frame().height));
            y += v->frame().height + 8;
        }
        EXPECT_NEAR(s->frame().height, y - 8 + 20, 1e-6);
        EXPECT_NEAR(x->frame().height, 5, 1e-6);
    }
}

// Random edits of a stack, checked after each sequence against a stack built afresh from the
// same rows in the final order and against the column the rows describe.
struct Row {
    ViewPtr view;
    double height;
    double width;  // > 0: centred with this width
    double padding;
};

class Model {
public:
    std::vector<Row> rows;
    double defaultPadding = 8;

    ptrdiff_t indexOf(const View* v) const {
        auto at = std::find_if(rows.begin(), rows.end(), [v](const Row& r) { return r.view.get() == v; });
        return at == rows.end() ? -1 : at - rows.begin();
    }
    void remove(const View* v) {
        ptrdiff_t i = indexOf(v);
        if (i < 0) return;
        if (i > 0 && size_t(i) + 1 < rows.size()) rows[size_t(i) + 1].padding = defaultPadding;
        rows.erase(rows.begin() + i);
    }
};

TEST(StackViewTest, RandomEditsGiveTheFramesOfAStackBuiltAfresh) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto pick = [&rng](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(rng)); };
        std::vector<Row> pool;
        for (int i = 0; i < 8; ++i) {
            double height = double(5 + pick(40));
            double width = pick(3) == 0 ? double(20 + pick(200)) : 0;
            pool.push_back({makeRow("v" + std::to_string(i), height, width), height, width, 0});
        }
        auto s = makeStack();
        Model model;
        const size_t steps = 5 + pick(30);
        for (size_t step = 0; step < steps; ++step) {
            Row row = pool[pick(pool.size())];
            switch (pick(4)) {
                case 0:  // append, with the default padding
                    model.remove(row.view.get());
                    row.padding = model.defaultPadding;
                    if (row.width > 0)
                        s->appendView(row.view, row.padding, true);
                    else
                        s->appendView(row.view);
                    model.rows.push_back(row);
                    break;
                case 1:  // append with a padding of its own
                    model.remove(row.view.get());
                    row.padding = double(pick(31));
                    s->appendView(row.view, row.padding, row.width > 0);
                    model.rows.push_back(row);
                    break;
                case 2: {  // insert a full-width row after another (or none)
                    if (row.width > 0) break;
                    const View* after = nullptr;
                    if (!model.rows.empty() && pick(5) != 0)
                        after = model.rows[pick(model.rows.size())].view.get();
                    s->insertView(row.view, after);
                    model.remove(row.view.get());
                    row.padding = model.defaultPadding;
                    ptrdiff_t i = after ? model.indexOf(after) : -1;
                    if (i < 0 || after == row.view.get()) {
                        model.rows.push_back(row);
                    } else {
                        if (size_t(i) + 1 < model.rows.size())
                            model.rows[size_t(i) + 1].padding = model.defaultPadding;
                        model.rows.insert(model.rows.begin() + i + 1, row);
                    }
                    break;
                }
                default:  // remove
                    if (model.rows.empty()) break;
                    row = model.rows[pick(model.rows.size())];
                    model.remove(row.view.get());
                    row.view->removeFromSuperview();
                    break;
            }
        }
        ASSERT_EQ(s->subviews().size(), model.rows.size());
        for (size_t i = 0; i < model.rows.size(); ++i) ASSERT_EQ(s->subviews()[i], model.rows[i].view);

        auto fresh = makeStack();
        std::vector<ViewPtr> copies;
        for (const Row& r : model.rows) {
            copies.push_back(makeRow(r.view->identifier(), r.height, r.width));
            fresh->appendView(copies.back(), r.padding, r.width > 0);
        }
        s->layoutSubtreeIfNeeded();
        fresh->layoutSubtreeIfNeeded();
        expectFrame(*s, fresh->frame());
        double y = 20;
        for (size_t i = 0; i < model.rows.size(); ++i) {
            const Row& r = model.rows[i];
            if (i > 0) y += r.padding;
            expectFrame(*r.view, copies[i]->frame());
            Rect column =
                r.width > 0 ? Rect{(kStackWidth - r.width) / 2, y, r.width, r.height} : rowAt(y, r.height);
            expectFrame(*r.view, column);
            y += r.height;
        }
        EXPECT_NEAR(s->frame().height, model.rows.empty() ? 0 : y + 20, 1e-6);
        EXPECT_EQ(s->glueConstraints().size(), model.rows.empty() ? 0 : model.rows.size() - 1);
        if (!model.rows.empty()) {
            EXPECT_TRUE(s->firstMarginConstraint()->isActive());
            EXPECT_TRUE(s->firstMarginConstraint()->involves(model.rows.front().view.get()));
            EXPECT_TRUE(s->lastMarginConstraint()->isActive());
            EXPECT_TRUE(s->lastMarginConstraint()->involves(model.rows.back().view.get()));
        }
        if (HasFailure()) return;
    }
}

}  // namespace
