// zandrel-tool's xml2json, json2xml and urlencode, run as a person would run them from a shell:
// real files, standard input, exit statuses and messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "tests/support/HostLauncher.h"
#include "tests/support/ToolRun.h"

namespace {

using testsupport::ToolRun;

class ToolTest : public ::testing::Test {
protected:
    // Runs zandrel-tool with the arguments and the given standard input.
    ToolRun tool(const std::vector<std::string>& args, const std::string& input = "") {
        return testsupport::runTool(args, input);
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
          Case{"<!DOCTYPE a [<!ENTITY e \"&f;&f;\"><!ENTITY f \"&e;\">]><a>&e;</a>",
               "recursive entity reference"},
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
    run = tool({"xml2json", path("deep.xml")});
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
    for (int i = 0; i < kKeys; ++i)
        expected += "\n<" + key(i) + ">" + std::to_string(i) + "</" + key(i) + ">";
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

    // No text at all: standard input is the text (here empty).
    run = tool({"urlencode"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "\n");
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
        {{"--name", "a b"}, "{}", "the element name \"a b\" is not an XML name at /a b; rename the key"},
        {{"--name", "<x>"}, "{}", "the element name \"<x>\" is not an XML name at /<x>;"},
        {{}, R"({"__name":"r","ok":{"1x":"v"}})", "the element name \"1x\" is not an XML name at /r/ok/1x;"},
        {{},
         R"({"__name":"r","list":[{"fine":1},{"<":2}]})",
         "the element name \"<\" is not an XML name at /r/list/1/<;"},
        {{}, R"({"_a b":"v"})", "the attribute name \"a b\" is not an XML name at /root/_a b;"},
        {{},
         R"({"__attributes":{"x y":"1"}})",
         "the attribute name \"x y\" is not an XML name at /root/__attributes/x y;"},
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

namespace {

// A random document with every kind of content the reader turns into JSON: attributes with
// references, repeated and single children, texts with quotes, backslashes, tabs and
// characters outside ASCII, CDATA and comments.
std::string randomDocument(std::mt19937& random, int maxDepth) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* names[] = {"a", "b", "item", "x-y", "n.s", "\xC3\xA9t\xC3\xA9"};
    const char* texts[] = {
        "plain",       "q\"uote",        "back\\slash", "tab\there",       "&amp;&lt;&gt;&quot;&apos;",
        "&#38;&#x41;", "\xE2\x82\xAC 5", "  spaced  ",  "line\nbreak",     "<![CDATA[<raw> & ]]>",
        "12",          "-3.5e2",         "true",        "\xF0\x9F\x98\x80"};
    const char* values[] = {"plain",          "q&quot;uote",           "back\\slash",
                            "tab\there",      "&amp;&lt;&gt;&apos;\"", "&#38;&#x41;",
                            "\xE2\x82\xAC 5", "line\nbreak",           "&#x1F600;"};
    std::string out;
    struct Open {
        std::string name;
        int children;
    };
    std::vector<Open> open;
    auto start = [&](int depth) {
        std::string name = names[pick(6)];
        out += "<" + name;
        for (int i = 0, n = pick(3); i < n; ++i)
            out += " at" + std::to_string(i) + "='" + values[pick(9)] + "'";
        out += ">";
        open.push_back({name, depth < maxDepth ? pick(5) : 0});
    };
    start(1);
    while (!open.empty()) {
        Open& top = open.back();
        if (top.children == 0) {
            out += "</" + top.name + ">";
            open.pop_back();
            continue;
        }
        --top.children;
        switch (pick(4)) {
            case 0:
                out += texts[pick(14)];
                break;
            case 1:
                out += "<!-- note -->";
                break;
            default:
                start(static_cast<int>(open.size()) + 1);
        }
    }
    return out;
}

TEST_F(ToolTest, Xml2JsonIndentationChangesOnlyTheLayout) {
    std::mt19937 random(20260);
    for (int seed = 0; seed < 8; ++seed) {
        std::string xml = "<r>";
        for (int part = 0; part < 4; ++part) xml += randomDocument(random, part % 2 ? 4 : 10);
        xml += "</r>";
        dir.write("doc.xml", xml);
        const ToolRun compact = tool({"xml2json", "--indent", "-1", "--comments", path("doc.xml")});
        ASSERT_EQ(compact.status, 0) << xml << "\n" << compact.err;
        const platform::Value tree = platform::Value::parseJson(compact.out);
        EXPECT_EQ(compact.out, tree.toJson(-1) + "\n") << xml;
        for (int indent : {0, 1, 2, 16}) {
            const ToolRun indented =
                tool({"xml2json", "--indent", std::to_string(indent), "--comments", path("doc.xml")});
            ASSERT_EQ(indented.status, 0) << indented.err;
            EXPECT_EQ(platform::Value::parseJson(indented.out), tree) << xml << " at " << indent;
            EXPECT_EQ(indented.out, tree.toJson(indent) + "\n") << xml << " at " << indent;
        }
    }
}

// Indentation used to grow with depth: 30,000 levels at --indent 16 meant gigabytes of spaces,
// all built in memory. Lines deeper than 32 levels are now indented as level 32.
TEST_F(ToolTest, Xml2JsonOutputOfDeepDocumentsStaysProportional) {
    constexpr size_t kDepth = 30000;
    std::string deep;
    for (size_t i = 0; i < kDepth; ++i) deep += "<n a=\"1\">";
    deep += "leaf";
    for (size_t i = 0; i < kDepth; ++i) deep += "</n>";
    dir.write("deep.xml", deep);
    const ToolRun compact = tool({"xml2json", "--indent", "-1", path("deep.xml")});
    ASSERT_EQ(compact.status, 0) << compact.err;
    for (size_t indent : {2, 16}) {
        const ToolRun run = tool({"xml2json", "--indent", std::to_string(indent), path("deep.xml")});
        ASSERT_EQ(run.status, 0) << run.err;
        // Each level gives three lines ("n": {, "_a": "1", }), each indented by at most 32 levels.
        EXPECT_LT(run.out.size(), kDepth * 3 * (32 * indent + 16)) << indent;
        size_t widest = 0;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            widest = std::max(widest, std::min(line.find_first_not_of(' '), line.size()));
        EXPECT_EQ(widest, 32 * indent);
        EXPECT_EQ(platform::Value::parseJson(run.out).toJson(-1) + "\n", compact.out) << indent;
    }
}

TEST_F(ToolTest, InputLargerThanTheLimitIsRefused) {
    dir.write("doc.xml", "<a>12345</a>");    // 12 bytes
    dir.write("doc.json", "{\"a\":12345}");  // 11 bytes
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"xml2json", "--max-bytes", "12", path("doc.xml")}, "", 0, ""},
        {{"xml2json", "--max-bytes", "11", path("doc.xml")},
         "",
         2,
         path("doc.xml") + " is larger than 11 bytes; give --max-bytes with a larger limit to read it"},
        {{"xml2json", "--max-bytes", "11", "-"},
         "<a>12345</a>",
         2,
         "standard input is larger than 11 bytes; give --max-bytes"},
        {{"json2xml", "--max-bytes", "11", path("doc.json")}, "", 0, ""},
        {{"json2xml", "--max-bytes", "10", path("doc.json")},
         "",
         2,
         path("doc.json") + " is larger than 10 bytes"},
        {{"json2xml", "--max-bytes", "100000", "-"},
         std::string(200000, ' '),
         2,
         "standard input is larger than 100000 bytes"},
        {{"xml2json", "--max-bytes", "0", "-"}, "", 64, "--max-bytes"},
    };
    for (const Case& c : cases) {
        const ToolRun run = tool(c.args, c.input);
        EXPECT_EQ(run.status, c.status) << c.args[0] << " " << c.args[2] << ": " << run.err;
        if (c.status == 0) continue;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
}

// A full disk is a failure, not a success with a truncated document.
TEST_F(ToolTest, FailedWritesAreReported) {
    dir.write("doc.xml", "<a>1</a>");
    dir.write("doc.json", "{\"a\":1}");
    const std::vector<std::vector<std::string>> commands = {
        {"xml2json", path("doc.xml")}, {"json2xml", path("doc.json")}, {"urlencode", "x y"}};
    for (const auto& command : commands) {
        std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$@\" >/dev/full", "sh"};
        for (const auto& word : testsupport::HostLauncher::tool().command(command)) argv.push_back(word);
        const testsupport::ProcessResult run = testsupport::runProgram(argv);
        EXPECT_EQ(run.exitCode, 2) << command[0];
        EXPECT_NE(
            run.err.find("zandrel-tool " + command[0] + ": cannot write the output: No space left on device"),
            std::string::npos)
            << run.err;
    }
}

TEST_F(ToolTest, TextsThatStartWithADashGoAfterTwoDashes) {
    ToolRun run = tool({"urlencode", "-x"});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(
        run.err.find("zandrel-tool urlencode: '-x' was read as an option; to give a text or file name that "
                     "starts with '-', put -- before it: zandrel-tool urlencode -- -x"),
        std::string::npos)
        << run.err;

    run = tool({"urlencode", "--", "-x"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "-x\n");

    run = tool({"xml2json", "--indent", "2", "-doc.xml"});
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find("put -- before it: zandrel-tool xml2json -- -doc.xml"), std::string::npos)
        << run.err;

    // Options that exist are no stray texts: a missing value is just missing.
    run = tool({"xml2json", "--indent"});
    EXPECT_EQ(run.status, 64);
    EXPECT_EQ(run.err.find("was read as an option"), std::string::npos) << run.err;
}

}  // namespace

namespace {

// Whatever encoding a document arrives in, the JSON is UTF-8; a document whose bytes do not
// match its encoding is refused, not passed on with the bad bytes.
TEST_F(ToolTest, Xml2JsonWritesUtf8WhateverTheDocumentsEncoding) {
    struct Case {
        std::string xml;
        int status;
        std::string expected;  // the output, or a part of the message
    };
    const Case cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>", 0,
         "{\"__name\":\"a\",\"__text\":\"caf\xC3\xA9\"}\n"},
        {std::string("\xFE\xFF\0<\0a\0>\0\xE9\0<\0/\0a\0>", 18), 0,
         "{\"__name\":\"a\",\"__text\":\"\xC3\xA9\"}\n"},
        {std::string("\xFF\xFE<\0a\0>\0\xE9\0<\0/\0a\0>\0", 18), 0,
         "{\"__name\":\"a\",\"__text\":\"\xC3\xA9\"}\n"},
        {"\xEF\xBB\xBF<a>x</a>", 0, "{\"__name\":\"a\",\"__text\":\"x\"}\n"},
        {"<a>caf\xE9</a>", 1, "not well-formed (invalid token) at line 1, column 7"},
        {"<?xml version=\"1.0\" encoding=\"EBCDIC-XYZ\"?><a/>", 1, "unknown encoding"},
        {"<a>\xED\xA0\x80</a>", 1, "not well-formed"},  // an encoded surrogate is no UTF-8
    };
    for (const Case& c : cases) {
        const ToolRun run = tool({"xml2json", "--indent", "-1", "-"}, c.xml);
        EXPECT_EQ(run.status, c.status) << c.xml << ": " << run.err;
        if (c.status == 0) {
            EXPECT_EQ(run.out, c.expected);
        } else {
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        }
    }
}

// Integers beyond 64 bits used to become doubles (1.8446744073709552e+19): their text is kept.
TEST_F(ToolTest, Json2XmlKeepsTheTextOfEveryInteger) {
    for (const std::string number : {"0", "-1", "9223372036854775807", "-9223372036854775808",
                                     "9223372036854775808", "18446744073709551615", "18446744073709551616",
                                     "-9223372036854775809", "123456789012345678901234567890"}) {
        const ToolRun run = tool({"json2xml", "-"}, "{\"n\":" + number + ",\"list\":[" + number + "]}");
        EXPECT_EQ(run.status, 0) << number << ": " << run.err;
        EXPECT_EQ(run.out, "<root><list>" + number + "</list>\n<n>" + number + "</n></root>\n");
    }
}

// What json2xml writes, its own reader must read back; what XML cannot carry is refused with
// where it sits, instead of written.
TEST_F(ToolTest, Json2XmlRefusesTextsXmlCannotCarry) {
    struct Case {
        const char* json;
        const char* where;
    };
    const Case refused[] = {
        {R"({"a":"x\u0001y"})", "/root/a"},
        {R"({"a":"\u0000"})", "/root/a"},
        {R"({"_a":"bell\u0007"})", "/root/_a"},
        {R"({"__attributes":{"b":"\u001f"}})", "/root/__attributes/b"},
        {R"({"a":{"b":["ok","\uFFFE"]}})", "/root/a/b/1"},
        {R"({"__text":"\uFFFF"})", "/root/__text"},
        {R"({"__comments":["fine","a--b"]})", "/root/__comments/1"},
        {R"({"__comments":["ends with -"]})", "/root/__comments/0"},
        {R"({"__name":"r","__comments":["-\u0002-"]})", "/r/__comments/0"},
    };
    for (const Case& c : refused) {
        const ToolRun run = tool({"json2xml", "-"}, c.json);
        EXPECT_EQ(run.status, 1) << c.json;
        EXPECT_EQ(run.out, "") << c.json;
        EXPECT_NE(run.err.find(std::string("at ") + c.where), std::string::npos) << c.json << ": " << run.err;
    }
    // Characters XML does carry go through and read back as they were.
    const std::string text = "tab\\t line\\n cr\\r del\\u007f \\ufffd \\ud83d\\ude00 a-b";
    ToolRun written =
        tool({"json2xml", "-"}, "{\"a\":\"" + text + "\",\"_b\":\"" + text + "\",\"__comments\":[\"a-b\"]}");
    ASSERT_EQ(written.status, 0) << written.err;
    const ToolRun read = tool({"xml2json", "--indent", "-1", "-"}, written.out);
    ASSERT_EQ(read.status, 0) << written.out << ": " << read.err;
    EXPECT_EQ(
        platform::Value::parseJson(read.out),
        platform::Value::parseJson("{\"__name\":\"root\",\"a\":\"" + text + "\",\"_b\":\"" + text + "\"}"))
        << read.out;
}

}  // namespace
