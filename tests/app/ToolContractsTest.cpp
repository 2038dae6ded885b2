// What every zandrel-tool command promises alike: "--" before texts that start with '-',
// standard input read when no source is given and it is not a terminal, and --help listing the
// exit statuses in one form. And layout-solve's refusals: solutions that are not finite, input
// beyond --max-bytes, and lines beyond the view and constraint limits refused while read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/HostLauncher.h"
#include "tests/support/ToolRun.h"

// AddressSanitizer reserves terabytes of shadow memory at start, so a program under an
// address-space cap (ulimit -v) cannot even start there; the caps are checked in normal builds.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WHERE_ADDRESS_SPACE_CANNOT_BE_CAPPED() \
    GTEST_SKIP() << "an address-space cap under AddressSanitizer"
#else
#define SKIP_WHERE_ADDRESS_SPACE_CANNOT_BE_CAPPED() (void)0
#endif

namespace {

using testsupport::runTool;
using testsupport::ToolRun;

// zandrel-tool with its address space capped at `kibibytes` (ulimit -v).
testsupport::ProcessResult underAddressSpaceCap(const std::string& kibibytes,
                                                const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/bin/sh", "-c", "ulimit -v " + kibibytes + " && exec \"$@\"", "sh"};
    for (const auto& word : testsupport::HostLauncher::tool().command(args)) argv.push_back(word);
    return testsupport::runProgram(argv);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const char* const kCommands[] = {"ftp-put",   "json2xml",        "layout-solve",
                                 "urlencode", "version-compare", "xml2json"};

TEST(ToolContractsTest, EveryHelpListsItsExitStatusesInOneForm) {
    for (const char* command : kCommands) {
        const ToolRun help = runTool({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_TRUE(contains(help.out, "\nExit status:\n  0  ")) << command << ":\n" << help.out;
        EXPECT_TRUE(contains(help.out, "\n  64 the command line is wrong")) << command << ":\n" << help.out;
    }
    EXPECT_TRUE(
        contains(runTool({"version-compare", "--help"}).out, "Usage: zandrel-tool version-compare [--] A B"));
    EXPECT_TRUE(contains(runTool({"layout-solve", "--help"}).out, "--max-bytes"));
    EXPECT_TRUE(contains(runTool({"xml2json", "--help"}).out, "not the order of differently named siblings"));
}

TEST(ToolContractsTest, EveryCommandTakesDoubleDashBeforeItsTexts) {
    testsupport::TempDir dir;
    dir.write("-doc.xml", "<a>x</a>");
    dir.write("-doc.json", R"({"a": 1})");
    dir.write("-systems.jsonl", R"({"id": 1, "views": ["v"], "constraints": []})"
                                "\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"version-compare", "--", "- ", "1"}, 0, "higher: false\nhigher-or-equal: false\n"},
        {{"version-compare", "--", "-1", "-2"}, 0, "higher: true\nhigher-or-equal: true\n"},
        {{"version-compare", "1.2", "--", "--missing"}, 0, "higher: true\nhigher-or-equal: true\n"},
        {{"urlencode", "--", "-x y"}, 0, "-x%20y\n"},
        {{"xml2json", "--indent", "-1", "--", (dir / "-doc.xml").string()},
         0,
         R"({"__name":"a","__text":"x"})"
         "\n"},
        {{"json2xml", "--", (dir / "-doc.json").string()}, 0, "<root><a>1</a></root>\n"},
        {{"layout-solve", "--", (dir / "-systems.jsonl").string()},
         0,
         R"({"after_remove":{"values":{"v.bottom":0.0,"v.left":0.0,"v.right":0.0,"v.top":0.0}},"id":1,)"
         R"("values":{"v.bottom":0.0,"v.left":0.0,"v.right":0.0,"v.top":0.0}})"
         "\n"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool(c.args);
        EXPECT_EQ(run.status, c.status) << c.args[0] << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0];
    }
    // ftp-put takes its file after -- too: refused as bad input (2), not as a usage error (64).
    dir.write("password", "secret\n");
    const ToolRun ftp = runTool({"ftp-put", "--url", "notftp://", "--user", "u", "--password-file",
                                 (dir / "password").string(), "--", (dir / "-doc.xml").string()});
    EXPECT_EQ(ftp.status, 2) << ftp.err;
}

TEST(ToolContractsTest, WithoutASourceAPipedStandardInputIsRead) {
    struct Case {
        std::string command;
        std::string input;
    };
    const Case cases[] = {
        {"xml2json", "<a><b>1</b></a>"}, {"json2xml", R"({"b": [1, 2]})"}, {"urlencode", "a b\n"}};
    for (const Case& c : cases) {
        const ToolRun dash = runTool({c.command, "-"}, c.input);
        const ToolRun none = runTool({c.command}, c.input);
        ASSERT_EQ(dash.status, 0) << c.command << ": " << dash.err;
        EXPECT_EQ(none.status, 0) << c.command << ": " << none.err;
        EXPECT_EQ(none.out, dash.out) << c.command;
        EXPECT_FALSE(none.out.empty()) << c.command;
    }
    // An empty text given is that text, not a request to read standard input.
    const ToolRun empty = runTool({"urlencode", ""}, "ignored");
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "\n");
}

TEST(ToolContractsTest, LayoutSolveRefusesASolutionThatIsNotFinite) {
    const std::string line =
        R"({"id": "big", "views": ["v"], "constraints": [)"
        R"({"id": 1, "item1": "v", "attr1": "left", "relation": "==", "constant": 1e308},)"
        R"({"id": 2, "item1": "v", "attr1": "right", "relation": "==", "item2": "v", "attr2": "left",)"
        R"( "multiplier": 1e308, "constant": 1e308}]})";
    const ToolRun run = runTool({"layout-solve"}, line + "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(contains(run.err, "line 1: the solution of v.right is not a finite number")) << run.err;
}

TEST(ToolContractsTest, LayoutSolveBoundsItsInput) {
    const std::string line = R"({"id": 1, "views": ["v"], "constraints": []})"
                             "\n";
    const ToolRun small = runTool({"layout-solve", "--max-bytes", "1000"}, line);
    EXPECT_EQ(small.status, 0) << small.err;
    const ToolRun large = runTool({"layout-solve", "--max-bytes", "20"}, line);
    EXPECT_EQ(large.status, 2);
    EXPECT_TRUE(contains(large.err, "larger than 20 bytes; give --max-bytes")) << large.err;
}

// A line of 2 million constraints (about 60 MB) under a 300 MB address-space limit: counted while
// read and refused at the limit, it never becomes a tree (which took some 10 times the line).
TEST(ToolContractsTest, LayoutSolveRefusesAnOversizedLineWhileReadingIt) {
    SKIP_WHERE_ADDRESS_SPACE_CANNOT_BE_CAPPED();
    testsupport::TempDir dir;
    std::string line = R"({"id": 1, "views": ["v"], "constraints": [)";
    const std::string constraint = R"({"id":0,"item1":"v","attr1":"left","relation":"=="},)";
    line.reserve(constraint.size() * 2000000 + 100);
    for (int i = 0; i < 2000000; ++i) line += constraint;
    line.back() = ']';
    line += "}\n";
    dir.write("huge.jsonl", line + R"({"id": 2, "views": ["w", "x", "y"], "constraints": []})"
                                   "\n");
    line = std::string();
    const testsupport::ProcessResult run =
        underAddressSpaceCap("300000", {"layout-solve", (dir / "huge.jsonl").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(contains(run.err,
                         "line 1: the system has more than 50000 constraints, the limit (--max-constraints)"))
        << run.err;
    EXPECT_TRUE(contains(run.out, R"("id":2)")) << run.out;
    // Views too, with a lower limit.
    const ToolRun views = runTool({"layout-solve", "--max-views", "2"},
                                  R"({"id": 1, "views": ["a", "b", "c"], "constraints": []})"
                                  "\n");
    EXPECT_EQ(views.status, 1);
    EXPECT_TRUE(contains(views.err, "more than 2 views, the limit (--max-views)")) << views.err;
}

// A chain of 6,500 views, each top held between two inequalities on the one above: its tableau
// would grow past 21 million cells. With the default limits, under a 600 MB address-space cap,
// it is refused at the cell limit (cells held, the undo copies included), not ended by it.
TEST(ToolContractsTest, LayoutSolveCellLimitHoldsMemoryToHalfAGigabyte) {
    SKIP_WHERE_ADDRESS_SPACE_CANNOT_BE_CAPPED();
    testsupport::TempDir dir;
    std::string line = R"({"id": 1, "views": [)";
    for (int i = 0; i < 6500; ++i) line += (i ? ",\"v" : "\"v") + std::to_string(i) + "\"";
    line += R"(], "constraints": [{"id": 0, "item1": "v0", "attr1": "top", "relation": "==", "constant": 0})";
    for (int i = 1; i < 6500; ++i)
        for (const char* relation : {">=", "<="})
            line += R"(,{"id": ")" + std::to_string(i) + relation + R"(", "item1": "v)" + std::to_string(i) +
                    R"(", "attr1": "top", "relation": ")" + relation + R"(", "item2": "v)" +
                    std::to_string(i - 1) + R"(", "attr2": "top", "constant": 8})";
    dir.write("chain.jsonl", line + "]}\n");
    const testsupport::ProcessResult run =
        underAddressSpaceCap("600000", {"layout-solve", (dir / "chain.jsonl").string()});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "larger than its limit of 16000000 tableau cells")) << run.err;
}

}  // namespace
