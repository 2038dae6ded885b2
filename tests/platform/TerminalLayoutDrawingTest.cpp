// What the terminal draws besides the view lines: separators across their solved width,
// popovers as framed boxes beside their anchors (and closed by `close`), and the title bar's
// accessory views at the right of the title line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/Box.h"
#include "platform/ui/Button.h"
#include "platform/ui/DrawingContext.h"
#include "platform/ui/Popover.h"
#include "platform/ui/TerminalDrawing.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

const std::string kRule = "\u2500";

RenderOptions widthOf(size_t width) {
    RenderOptions options;
    options.width = width;
    return options;
}

using testsupport::expectFits;
using testsupport::linesOf;

std::string rules(size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += kRule;
    return out;
}

// The index of the first line containing `part`, or -1.
int lineWith(const std::vector<std::string>& lines, const std::string& part) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(part) != std::string::npos) return static_cast<int>(i);
    return -1;
}

// A line that fades out at both ends, inset 2 points at the top and bottom: a gradient fill of
// the bounds less the insets, so nothing at all when the box is 4 points high or less.
class FadingLine : public Box {
public:
    using Box::Box;
    void drawRect(DrawingContext& context, const Rect&) override {
        Rect line = bounds();
        line.y += 2;
        line.height -= 4;
        auto end = Color::calibratedWhite(0.646, 0.0), middle = Color::calibratedWhite(0.646, 1.0);
        context.fillGradient(line, {{end, 0.0}, {middle, 0.5}, {end, 1.0}}, 0.0);
    }
};

// A vertical line: taller than wide.
class VerticalLine : public Box {
public:
    using Box::Box;
    void drawRect(DrawingContext& context, const Rect&) override {
        context.fillRect({0, 0, 1, bounds().height}, Color::calibratedWhite(0.5, 1.0));
    }
};

std::shared_ptr<Box> separatorBox(Rect frame) {
    auto box = std::make_shared<Box>(frame);
    box->setBoxType(Box::BoxType::Separator);
    return box;
}

class TerminalLayoutDrawingTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = std::make_shared<Window>("Settings", Rect{0, 0, 400, 300});
        window->contentView()->setFrame({0, 0, 400, 300});
    }
    std::shared_ptr<Button> addButton(const std::string& id, Rect frame, std::shared_ptr<View> in = nullptr) {
        auto button = std::make_shared<Button>(id);
        button->setIdentifier(id);
        button->setFrame(frame);
        (in ? in : window->contentView())->addSubview(button);
        return button;
    }
    std::shared_ptr<Popover> popoverWith(const std::vector<std::string>& labels) {
        auto content = std::make_shared<View>(Rect{0, 0, 200, 100});
        for (const auto& text : labels) {
            auto label = std::make_shared<TextField>(text);
            label->setEditable(false);
            content->addSubview(label);
        }
        auto popover = std::make_shared<Popover>();
        popover->setContentView(content);
        return popover;
    }
    std::shared_ptr<Window> window;
};

// ------------------------------------------------------------------ separators

TEST_F(TerminalLayoutDrawingTest, SeparatorSpansTheColumnsOfItsSolvedFrame) {
    struct Case {
        const char* what;
        std::shared_ptr<Box> box;
        bool nested;  // inside a group at x 100
        size_t width;
        bool isSeparator;
        size_t begin, end;
    };
    auto titled = separatorBox({0, 0, 400, 5});
    titled->setTitle("Options");
    const std::vector<Case> cases = {
        {"full width", separatorBox({0, 10, 400, 5}), false, 80, true, 0, 80},
        {"right half", separatorBox({200, 10, 200, 5}), false, 80, true, 40, 80},
        {"a middle part rounds outwards", separatorBox({30, 10, 101, 5}), false, 40, true, 3, 14},
        {"nested frames add up", separatorBox({100, 10, 100, 5}), true, 80, true, 40, 60},
        {"past the window is clipped", separatorBox({300, 10, 900, 5}), false, 80, true, 60, 80},
        {"outside the window still shows a column", separatorBox({500, 10, 50, 5}), false, 80, true, 79, 80},
        {"a fading line 5 high", std::make_shared<FadingLine>(Rect{0, 0, 400, 5}), false, 80, true, 0, 80},
        {"a fading line 4 high draws nothing", std::make_shared<FadingLine>(Rect{0, 0, 400, 4}), false, 80,
         false, 0, 0},
        {"a vertical line", std::make_shared<VerticalLine>(Rect{0, 0, 1, 200}), false, 80, false, 0, 0},
        {"a primary box draws nothing", std::make_shared<Box>(Rect{0, 0, 400, 5}), false, 80, false, 0, 0},
        {"a titled box groups", titled, false, 80, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        window->contentView()->setSubviews({});
        if (c.nested) {
            auto group = std::make_shared<View>(Rect{100, 0, 200, 100});
            window->contentView()->addSubview(group);
            group->addSubview(c.box);
        } else {
            window->contentView()->addSubview(c.box);
        }
        auto span = TerminalDrawing::separatorSpan(*c.box, *window, c.width);
        ASSERT_EQ(span.has_value(), c.isSeparator);
        if (!span) continue;
        EXPECT_EQ(span->begin, c.begin);
        EXPECT_EQ(span->end, c.end);
        EXPECT_EQ(TerminalDrawing::separatorLine(*span), std::string(c.begin, ' ') + rules(c.end - c.begin));
    }
}

TEST_F(TerminalLayoutDrawingTest, SeparatorHasALineOfItsOwnBetweenTheRowsItDivides) {
    // Two buttons side by side, a separator that overlaps their row vertically, one button below.
    addButton("left", {0, 0, 190, 20});
    addButton("right", {210, 0, 190, 20});
    window->contentView()->addSubview(separatorBox({0, 10, 400, 5}));
    addButton("below", {0, 40, 100, 20});
    auto lines = linesOf(TerminalRenderer::renderWindow(*window, widthOf(60)));
    ASSERT_EQ(lines.size(), 4u) << TerminalRenderer::renderWindow(*window, widthOf(60));
    EXPECT_NE(lines[1].find("left"), std::string::npos);
    EXPECT_NE(lines[1].find("right"), std::string::npos);
    EXPECT_EQ(lines[2], rules(60));
    EXPECT_NE(lines[3].find("below"), std::string::npos);
    // A separator's number is skipped: the button after it keeps its place in the view tree.
    EXPECT_NE(lines[3].find("#4"), std::string::npos);
}

TEST_F(TerminalLayoutDrawingTest, SeparatorsWithoutFramesFollowTreeOrder) {
    addButton("first", {});
    window->contentView()->addSubview(separatorBox({}));
    addButton("second", {});
    auto lines = linesOf(TerminalRenderer::renderWindow(*window, widthOf(50)));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[1].find("first"), std::string::npos);
    // No width to scale by: the line spans the terminal.
    EXPECT_EQ(lines[2], rules(50));
    EXPECT_NE(lines[3].find("second"), std::string::npos);
}

// ------------------------------------------------------------------ popovers

TEST_F(TerminalLayoutDrawingTest, PopoverIsDrawnOnItsEdgeOfTheAnchor) {
    struct Case {
        RectEdge edge;
        const char* heading;
        bool aboveAnchor;
        bool flushLeft;
    };
    const Case cases[] = {{RectEdge::MinY, "popover beneath #2", false, false},
                          {RectEdge::MaxY, "popover above #2", true, false},
                          {RectEdge::MinX, "popover left of #2", false, true},
                          {RectEdge::MaxX, "popover right of #2", false, false}};
    addButton("first", {0, 0, 100, 20});
    auto anchor = addButton("anchor", {0, 30, 100, 20});
    addButton("last", {0, 60, 100, 20});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        auto popover = popoverWith({"Tip: one", "Tip: two"});
        popover->showRelativeToRect({0, 0, 100, 20}, anchor, c.edge);
        std::string drawn = TerminalRenderer::renderWindow(*window, widthOf(80));
        expectFits(drawn, 80);
        auto lines = linesOf(drawn);
        int anchorLine = lineWith(lines, "anchor"), top = lineWith(lines, c.heading);
        int one = lineWith(lines, "Tip: one"), two = lineWith(lines, "Tip: two");
        int bottom = lineWith(lines, "\"close\" closes it");
        ASSERT_GE(top, 0) << drawn;
        ASSERT_GE(anchorLine, 0);
        // The box: heading, its content in order, the closing line, all next to the anchor's line.
        EXPECT_EQ(one, top + 1);
        EXPECT_EQ(two, top + 2);
        EXPECT_EQ(bottom, top + 3);
        if (c.aboveAnchor)
            EXPECT_EQ(bottom + 1, anchorLine) << drawn;
        else
            EXPECT_EQ(anchorLine + 1, top) << drawn;
        size_t indent = lines[static_cast<size_t>(top)].find("\u250c");
        EXPECT_EQ(indent == 0, c.flushLeft) << drawn;
        // The frame is closed on the right, at the terminal's edge.
        for (int k = top; k <= bottom; ++k)
            EXPECT_EQ(TerminalRenderer::displayWidth(lines[static_cast<size_t>(k)]), 80u)
                << lines[static_cast<size_t>(k)];
        popover->close();
        EXPECT_EQ(TerminalRenderer::renderWindow(*window, widthOf(80)).find("popover"), std::string::npos);
    }
}

TEST_F(TerminalLayoutDrawingTest, OnlyShownPopoversOfThisWindowAreDrawn) {
    auto anchor = addButton("anchor", {0, 0, 100, 20});
    auto hiddenAnchor = addButton("hidden", {0, 30, 100, 20});
    auto other = std::make_shared<Window>("Other");
    auto otherAnchor = addButton("elsewhere", {0, 0, 100, 20}, other->contentView());

    auto dropped = popoverWith({"dropped"});
    dropped->showRelativeToRect({}, anchor, RectEdge::MinY);
    dropped.reset();  // nothing keeps it: it is gone, not drawn
    auto inOther = popoverWith({"in the other window"});
    inOther->showRelativeToRect({}, otherAnchor, RectEdge::MinY);
    auto onHidden = popoverWith({"on a hidden view"});
    onHidden->showRelativeToRect({}, hiddenAnchor, RectEdge::MinY);
    hiddenAnchor->setHidden(true);
    auto empty = std::make_shared<Popover>();
    empty->showRelativeToRect({}, anchor, RectEdge::MinY);

    std::string drawn = TerminalRenderer::renderWindow(*window, widthOf(80));
    EXPECT_EQ(drawn.find("dropped"), std::string::npos) << drawn;
    EXPECT_EQ(drawn.find("in the other window"), std::string::npos) << drawn;
    EXPECT_EQ(drawn.find("on a hidden view"), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("(empty)"), std::string::npos) << drawn;
    EXPECT_EQ(TerminalDrawing::popoversOf(*window), std::vector<std::shared_ptr<Popover>>{empty});
    EXPECT_EQ(TerminalDrawing::popoversOf(*other), std::vector<std::shared_ptr<Popover>>{inOther});
    // The anchor leaving the window takes the popover with it.
    anchor->removeFromSuperview();
    EXPECT_TRUE(TerminalDrawing::popoversOf(*window).empty());
}

TEST_F(TerminalLayoutDrawingTest, PopoverBoxesFitEveryWidth) {
    std::mt19937 random(20261208);
    auto anchor = addButton("anchor", {0, 0, 100, 20});
    addButton("beside", {120, 0, 100, 20});
    std::vector<std::shared_ptr<Popover>> shown;
    for (RectEdge edge : {RectEdge::MinY, RectEdge::MaxY, RectEdge::MinX, RectEdge::MaxX}) {
        auto popover =
            popoverWith({std::string(150, 'w'), "\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8"});
        popover->showRelativeToRect({}, anchor, edge);
        shown.push_back(popover);
    }
    for (int round = 0; round < 200; ++round) {
        size_t width = std::uniform_int_distribution<size_t>(1, 160)(random);
        std::string drawn = TerminalRenderer::renderWindow(*window, widthOf(width));
        expectFits(drawn, std::max<size_t>(width, 8));
        EXPECT_NE(drawn.find("\u2514"), std::string::npos) << width;
    }
}

TEST_F(TerminalLayoutDrawingTest, CloseClosesTheFrontmostPopoverBeforeTheWindow) {
    auto anchor = addButton("anchor", {0, 0, 100, 20});
    window->makeKeyAndOrderFront();
    auto first = popoverWith({"first"});
    auto second = popoverWith({"second"});
    first->showRelativeToRect({}, anchor, RectEdge::MinY);
    second->showRelativeToRect({}, anchor, RectEdge::MaxX);
    // Shown again: now the frontmost.
    first->showRelativeToRect({}, anchor, RectEdge::MaxY);
    EXPECT_EQ(TerminalDrawing::frontmostPopover(*window), first);

    TerminalFrontEnd::Options options;
    options.inputFd = ::open("/dev/null", O_RDONLY);
    options.outputFd = ::open("/dev/null", O_WRONLY);
    options.errorFd = options.outputFd;
    options.interactive = false;
    options.lineEditing = false;
    options.width = 80;
    {
        TerminalFrontEnd terminal(options);
        EXPECT_TRUE(terminal.execute("close"));
        EXPECT_FALSE(first->isShown());
        EXPECT_TRUE(second->isShown());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(terminal.execute("close"));
        EXPECT_FALSE(second->isShown());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(terminal.execute("close"));
        EXPECT_FALSE(window->isVisible());
    }
    ::close(options.inputFd);
    ::close(options.outputFd);
}

// ------------------------------------------------------------------ title bar

TEST_F(TerminalLayoutDrawingTest, TitleBarAccessoriesSitAtTheRightOfTheTitleLine) {
    addButton("body", {0, 0, 100, 20});
    // Drawing never makes a frame view: the content view stays the top of the tree.
    std::string plain = TerminalRenderer::renderWindow(*window, widthOf(80));
    EXPECT_EQ(window->contentView()->superview(), nullptr);
    EXPECT_EQ(linesOf(plain)[0], "=== \"Settings\" ===");

    auto help = std::make_shared<Button>("Help");
    help->setFrame({340, 2, 50, 16});
    auto badge = std::make_shared<TextField>("Beta");
    badge->setEditable(false);
    badge->setFrame({280, 2, 50, 16});
    auto hidden = std::make_shared<Button>("Hidden");
    hidden->setHidden(true);
    window->frameView()->addSubview(help);
    window->frameView()->addSubview(badge);
    window->frameView()->addSubview(hidden);

    struct Case {
        size_t width;
        std::string line;
    };
    const std::vector<Case> cases = {
        {80, "=== \"Settings\" ===" + std::string(48, ' ') + "Beta  < Help >"},
        {36, "=== \"Settings\" ===    Beta  < Help >"},
        // Narrow: the accessories give way, the title keeps half the line.
        {24, "=== \"Setti\u2026 Beta  < Hel\u2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        auto lines = linesOf(TerminalRenderer::renderWindow(*window, widthOf(c.width)));
        EXPECT_EQ(lines[0], c.line);
        EXPECT_EQ(TerminalRenderer::displayWidth(lines[0]), c.width);
        // The content's views are drawn as before.
        EXPECT_NE(lines[1].find("body"), std::string::npos);
    }
}

}  // namespace
