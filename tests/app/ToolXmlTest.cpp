// zandrel-tool's xml2json, json2xml and urlencode, run as a person would run them from a shell:
// real files, standard input, exit statuses and messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test {
protected:
    // Runs zandrel-tool with the arguments and the given standard input.
    ToolRun tool(const std::vector<std::string>& args, const std::string& input = "") {
        std::vector<std::string> argv{testsupport::builtProgram("zandrel-tool")};
        argv.insert(argv.end(), args.begin(), args.end());
        testsupport::ProcessResult result = testsupport::runProgram(argv, input);
        return ToolRun{result.exitCode, std::move(result.out), std::move(result.err)};
    }
    std::string path(const std::string& name) { return (dir / name).string(); }

    testsupport::TempDir dir;
};

TEST_F(ToolTest, Xml2JsonPrintsTheNodeDictionary) {
    dir.write("doc.xml", "<a x=\"1\"><b>1</b><b>2</b><!--note--><c>t &amp; u</c></a>");
    ToolRun run = tool({"xml2json", "--indent", "-1", path("doc.xml")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"__name\":\"a\",\"_x\":\"1\",\"b\":[\"1\",\"2\"],\"c\":\"t & u\"}\n");

    run = tool({"xml2json", "--indent=-1", "--comments", "--attributes", "dictionary", "--node-names",
                "never", "--always-arrays", path("doc.xml")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        run.out,
        "{\"__attributes\":{\"x\":\"1\"},\"__comments\":[\"note\"],\"b\":[\"1\",\"2\"],\"c\":[\"t & u\"]}\n");

    run = tool({"xml2json", "--indent", "-1", "--no-collapse", "--no-trim", "-"}, "<r> <i>v</i></r>");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"__name\":\"r\",\"__text\":\" \",\"i\":{\"__text\":\"v\"}}\n");
}

TEST_F(ToolTest, Xml2JsonRefusesBadInput) {
    struct Case {
        std::string input;
        std::string message;
    };
    for (const Case& c :
         {Case{"<a><b>1</b>", "standard input: the document ends before all its elements are closed"},
          Case{"<a>\xFF</a>", "standard input: not well-formed (invalid token) at line 1, column 4"},
          Case{"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", "entity declarations are not accepted"},
          Case{"", "no element found"}}) {
        const ToolRun run = tool({"xml2json", "-"}, c.input);
        EXPECT_EQ(run.status, 1) << c.input;
        EXPECT_EQ(run.out, "") << c.input;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    const ToolRun partial = tool({"xml2json", "--partial", "--indent", "-1", "-"}, "<a><b>1</b><c>");
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.out, "{\"__name\":\"a\",\"b\":\"1\",\"c\":{}}\n");
    EXPECT_NE(partial.err.find("partial tree printed"), std::string::npos) << partial.err;

    const ToolRun missing = tool({"xml2json", path("missing.xml")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("missing.xml: No such file or directory"), std::string::npos) << missing.err;

    const ToolRun badOption = tool({"xml2json", "--attributes", "sideways", path("missing.xml")});
    EXPECT_NE(badOption.status, 0);
    EXPECT_NE(badOption.err.find("sideways"), std::string::npos) << badOption.err;
}

TEST_F(ToolTest, Json2XmlWritesAndRoundTripsDeepDocuments) {
    ToolRun run = tool({"json2xml", "--name", "doc", "-"}, R"({"_id":"7","a":[1,2.5,"x<y"],"b":{}})");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "<doc id=\"7\"><a>1</a>\n<a>2.5</a>\n<a>x&lt;y</a>\n<b/></doc>\n");

    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "<n>";
    deep += "leaf";
    for (int i = 0; i < 20000; ++i) deep += "</n>";
    dir.write("deep.xml", deep);
    run = tool({"xml2json", "--indent", "-1", path("deep.xml")});  // indented, depth makes it quadratic
    ASSERT_EQ(run.status, 0) << run.err;
    dir.write("deep.json", run.out);
    run = tool({"json2xml", path("deep.json")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, deep + "\n");
}

// Keys arrive in any order from a JSON object; building its dictionary must not shift entries
// key by key (quadratic: minutes at this size), so this test would run into the time-out.
TEST_F(ToolTest, Json2XmlTakesObjectsWithManyUnsortedKeys) {
    constexpr int kKeys = 200000;
    std::vector<int> order(kKeys);
    for (int i = 0; i < kKeys; ++i) order[i] = i;
    std::mt19937 random(5);
    std::shuffle(order.begin(), order.end(), random);
    auto key = [](int i) {
        std::string digits = std::to_string(i);
        return "k" + std::string(6 - digits.size(), '0') + digits;
    };
    std::string json = "{\"inner\":{\"b\":1,\"a\":2,\"b\":3}";
    for (int i : order) json += ",\"" + key(i) + "\":" + std::to_string(i);
    json += "}";
    dir.write("wide.json", json);

    ToolRun run = tool({"json2xml", "--name", "doc", path("wide.json")});
    ASSERT_EQ(run.status, 0) << run.err;
    // Children come out in key order; of repeated keys the last one counts.
    std::string expected = "<doc><inner><a>2</a>\n<b>3</b></inner>";
    for (int i = 0; i < kKeys; ++i) expected += "\n<" + key(i) + ">" + std::to_string(i) + "</" + key(i) + ">";
    expected += "</doc>\n";
    EXPECT_EQ(run.out.size(), expected.size());
    EXPECT_TRUE(run.out == expected) << run.out.substr(0, 200);
}

TEST_F(ToolTest, Json2XmlRefusesBadInput) {
    ToolRun run = tool({"json2xml", "-"}, "{\"a\": ");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("parse error"), std::string::npos) << run.err;

    run = tool({"json2xml", path("none.json")});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("none.json"), std::string::npos) << run.err;

    run = tool({"json2xml", "--name", "", "-"}, "{}");
    EXPECT_NE(run.status, 0);
}

TEST_F(ToolTest, UrlEncode) {
    ToolRun run = tool({"urlencode", "a b/?&%\xC3\xBC-._~"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "a%20b%2F%3F%26%25%C3%BC-._~\n");

    run = tool({"urlencode", "--latin1", "caf\xC3\xA9"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "caf%E9\n");

    run = tool({"urlencode", "--latin1", "\xE2\x82\xAC"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Latin-1"), std::string::npos) << run.err;

    run = tool({"urlencode"});
    EXPECT_NE(run.status, 0);
}

TEST_F(ToolTest, EveryCommandHasHelp) {
    for (const char* command : {"xml2json", "json2xml", "urlencode"}) {
        const ToolRun run = tool({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << command;
    }
}

}  // namespace

namespace {

TEST_F(ToolTest, Json2XmlRefusesNamesXmlDoesNotAllow) {
    struct Case {
        std::vector<std::string> args;
        const char* json;
        const char* expected;  // in the message; nullptr: accepted
    };
    const Case cases[] = {
        {{"--name", "a b"}, "{}", "'a b' is not an XML element name (at a b)"},
        {{"--name", "<x>"}, "{}", "'<x>' is not an XML element name"},
        {{}, R"({"__name":"r","ok":{"1x":"v"}})", "'1x' is not an XML element name (at r/ok/1x)"},
        {{}, R"({"__name":"r","list":[{"fine":1},{"<":2}]})", "'<' is not an XML element name (at r/list/<)"},
        {{}, R"({"_a b":"v"})", "'a b' is not an XML attribute name (at root/_a b)"},
        {{}, R"({"__attributes":{"x y":"1"}})", "'x y' is not an XML attribute name"},
        {{}, R"({"__name":"r","ns:a-b.c_d":{"_x.y":"1"},"été":"ok","__text":"t"})", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"json2xml"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("-");
        ToolRun run = tool(args, c.json);
        if (!c.expected) {
            EXPECT_EQ(run.status, 0) << c.json << ": " << run.err;
            continue;
        }
        EXPECT_EQ(run.status, 1) << c.json;
        EXPECT_EQ(run.out, "") << c.json;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
    }
}

}  // namespace
