// zandrel-tool layout-solve run as a developer would: JSON lines in, one solution line per
// system out, bad lines reported by number while the rest are solved, bounded input.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/JsonReader.h"
#include "platform/foundation/Value.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolRun.h"

namespace {

using platform::Value;

using testsupport::ToolRun;

ToolRun layoutSolve(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "layout-solve");
    return testsupport::runTool(args, input);
}

std::vector<Value> lines(const std::string& out) {
    std::vector<Value> result;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        result.push_back(platform::JsonReader::parse(out.substr(start, end - start)));
        start = end + 1;
    }
    return result;
}

// root pinned at (0, 0), 300 x 200; v0 inside it with margins, 100 wide by preference and
// centred by a weaker one.
const char* kSystem =
    R"({"id": "dialog", "views": ["root", "v0"], "constraints": [)"
    R"({"id": "r1", "item1": "root", "attr1": "left", "relation": "==", "item2": null, "constant": 0},)"
    R"({"id": "r2", "item1": "root", "attr1": "top", "relation": "==", "item2": null, "constant": 0},)"
    R"({"id": "r3", "item1": "root", "attr1": "width", "relation": "==", "item2": null, "constant": 300},)"
    R"({"id": "r4", "item1": "root", "attr1": "height", "relation": "==", "item2": null, "constant": 200},)"
    R"({"id": "c1", "item1": "v0", "attr1": "leading", "relation": ">=", "item2": "root", "attr2": "leading", "multiplier": 1, "constant": 20, "strength": 1001001000},)"
    R"({"id": "c2", "item1": "v0", "attr1": "top", "relation": "==", "item2": "root", "attr2": "top", "multiplier": 1, "constant": 20, "strength": 1001001000},)"
    R"({"id": "c3", "item1": "v0", "attr1": "width", "relation": "==", "item2": null, "constant": 100, "strength": 1000},)"
    R"({"id": "c4", "item1": "v0", "attr1": "height", "relation": "==", "item2": "root", "attr2": "height", "multiplier": 0.25, "constant": 0},)"
    R"({"id": "c5", "item1": "v0", "attr1": "centerX", "relation": "==", "item2": "root", "attr2": "centerX", "multiplier": 1, "constant": 0, "strength": 10}],)"
    R"( "remove_after_solve": ["c3"]})";

TEST(ToolLayoutSolveTest, SolvesThenSolvesAgainAfterRemoval) {
    testsupport::TempDir dir;
    dir.write("systems.jsonl", std::string(kSystem) + "\n");
    const ToolRun run = layoutSolve({(dir / "systems.jsonl").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::vector<Value> out = lines(run.out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].at("id").asString(), "dialog");
    struct Expect {
        const char* key;
        double before, after;
    };
    // Centred and 100 wide; without the width preference it may fill out to the margin on
    // the left while staying centred: 20 .. 280.
    for (const Expect& e : std::vector<Expect>{{"root.left", 0, 0},
                                               {"root.right", 300, 300},
                                               {"root.bottom", 200, 200},
                                               {"v0.left", 100, 20},
                                               {"v0.right", 200, 280},
                                               {"v0.top", 20, 20},
                                               {"v0.bottom", 70, 70}}) {
        EXPECT_DOUBLE_EQ(out[0].at("values").at(e.key).asReal(), e.before) << e.key;
        EXPECT_DOUBLE_EQ(out[0].at("after_remove").at("values").at(e.key).asReal(), e.after) << e.key;
    }
    EXPECT_EQ(out[0].at("values").asDictionary().size(), 8u);  // four edges of each view
}

TEST(ToolLayoutSolveTest, BadLinesAreNamedAndTheRestStillSolved) {
    struct Case {
        std::string line, message;
    };
    const std::vector<Case> cases{
        {"{not json", "line 1: not JSON"},
        {"[1, 2]", "line 1: the line is not a JSON object"},
        {R"({"views": ["a"], "constraints": []})", "line 1: the system has no \"id\""},
        {R"({"id": 1, "views": ["a", "a"], "constraints": []})", "view \"a\" is listed twice"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": "k", "item1": "b", "attr1": "left", "relation": "=="}]})",
         "constraint \"k\": \"item1\" must name a view"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": "k", "item1": "a", "attr1": "middle", "relation": "=="}]})",
         "\"attr1\" must be one of"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": "k", "item1": "a", "attr1": "left", "relation": "="}]})",
         "\"relation\" must be"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": "k", "item1": "a", "attr1": "left", "relation": "==", "strength": -1}]})",
         "not a positive number"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": "k", "item1": "a", "attr1": "left", "relation": "==", "constant": 1},)"
         R"({"id": "k2", "item1": "a", "attr1": "left", "relation": "==", "constant": 2}]})",
         "constraint \"k2\": the required constraint a.left - 2 == 0 (required) contradicts"},
        {R"({"id": 1, "views": ["a"], "constraints": [], "remove_after_solve": ["nope"]})",
         "names constraint \"nope\", which the system does not have"},
        {R"({"id": 1, "views": ["a"], "constraints": [{"id": 7, "item1": "a", "attr1": "left", "relation": "=="}], "remove_after_solve": [7, 7]})",
         "names constraint 7 twice"},
    };
    const std::string good =
        R"({"id": "ok", "views": ["a"], "constraints": [{"id": 1, "item1": "a", "attr1": "width", "relation": "==", "constant": 5}]})";
    for (const Case& c : cases) {
        const ToolRun run = layoutSolve({"-"}, c.line + "\n\n" + good + "\n");
        EXPECT_EQ(run.status, 1) << c.line;
        EXPECT_NE(run.err.find("standard input: "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.line << "\n" << run.err;
        const std::vector<Value> out = lines(run.out);
        ASSERT_EQ(out.size(), 1u) << c.line;
        EXPECT_EQ(out[0].at("id").asString(), "ok");
        EXPECT_DOUBLE_EQ(out[0].at("values").at("a.right").asReal(), 5.0);
    }
}

TEST(ToolLayoutSolveTest, MessagesEscapeWhatTheInputPutInThem) {
    // A view name holding a terminal escape sequence, echoed in the message about it.
    const ToolRun run =
        layoutSolve({"-"}, R"({"id": 1, "views": ["\u001b[2J", "\u001b[2J"], "constraints": []})"
                           "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is listed twice"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
}

TEST(ToolLayoutSolveTest, WideAndHugeSystemsAreRefusedWithinBounds) {
    // Views and constraints beyond the limits, and a chain whose tableau would outgrow the cell
    // limit: each refused with the limit named, quickly and in bounded memory. The chain of
    // offset equalities takes no tableau cells; the same chain stated as pairs of inequalities
    // is one the tableau must hold.
    std::string views = R"({"id": 1, "views": [)";
    for (int i = 0; i < 300; ++i) views += (i ? ",\"v" : "\"v") + std::to_string(i) + "\"";
    std::string chain =
        views +
        R"(], "constraints": [{"id": 0, "item1": "v0", "attr1": "top", "relation": "==", "constant": 0})";
    for (int i = 1; i < 300; ++i)
        chain += R"(,{"id": )" + std::to_string(i) + R"(, "item1": "v)" + std::to_string(i) +
                 R"(", "attr1": "top", "relation": "==", "item2": "v)" + std::to_string(i - 1) +
                 R"(", "attr2": "top", "constant": 8})";
    chain += "]}";
    std::string inequalities =
        views +
        R"(], "constraints": [{"id": 0, "item1": "v0", "attr1": "top", "relation": "==", "constant": 0})";
    for (int i = 1; i < 300; ++i)
        for (const char* relation : {">=", "<="})
            inequalities += R"(,{"id": ")" + std::to_string(i) + relation + R"(", "item1": "v)" +
                            std::to_string(i) + R"(", "attr1": "top", "relation": ")" + relation +
                            R"(", "item2": "v)" + std::to_string(i - 1) +
                            R"(", "attr2": "top", "constant": 8})";
    inequalities += "]}";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {{"--max-views", "100"}, "more than 100 views, the limit (--max-views)"},
             {{"--max-constraints", "50"}, "more than 50 constraints, the limit (--max-constraints)"},
             {{"--max-cells", "2000"}, "larger than its limit of 2000 tableau cells"},
             {{"--max-work", "5000"}, "beyond its budget of 5000 cell operations"}}) {
        std::vector<std::string> args = c.args;
        args.push_back("-");
        const ToolRun run = layoutSolve(args, inequalities + "\n");
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out.size() << " bytes of output";
    }
    // Within the limits both chains solve, each top 8 below the one before; the offset chain
    // even within the small limits above.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-"}, {"--max-cells", "2000", "--max-work", "5000", "-"}}) {
        const ToolRun solved = layoutSolve(args, chain + "\n");
        ASSERT_EQ(solved.status, 0) << solved.err;
        EXPECT_DOUBLE_EQ(lines(solved.out)[0].at("values").at("v299.top").asReal(), 299 * 8.0);
    }
    const ToolRun solved = layoutSolve({"-"}, inequalities + "\n");
    ASSERT_EQ(solved.status, 0) << solved.err;
    EXPECT_DOUBLE_EQ(lines(solved.out)[0].at("values").at("v299.top").asReal(), 299 * 8.0);
    // Deeply nested input is no system, and no crash.
    const ToolRun deep = layoutSolve({"-"}, std::string(200000, '[') + "\n");
    EXPECT_EQ(deep.status, 1);
    EXPECT_NE(deep.err.find("line 1"), std::string::npos);
}

TEST(ToolLayoutSolveTest, HelpListsTheExitStatusesAndMissingFilesFail) {
    const ToolRun help = layoutSolve({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:\n  0  every system solved\n  1  some lines were refused\n  2  "),
              std::string::npos);
    const ToolRun missing = layoutSolve({"/nonexistent/systems.jsonl"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("/nonexistent/systems.jsonl"), std::string::npos);
}

}  // namespace
