// zandrel-tool's command line as a person meets it: one status and one message style for every
// mistake, standard input for "-", parser messages in the tool's own words, and top-level
// arrays in json2xml.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/HostLauncher.h"

namespace {

using testsupport::ProcessResult;

ProcessResult tool(const std::vector<std::string>& args, const std::string& input = "") {
    return testsupport::HostLauncher::tool().run(args, input);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// No byte that would drive a terminal, and none that is not UTF-8 text of the message's own.
bool hasRawControl(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {  // the final line end is the message's own
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F || byte >= 0xF8) return true;
    }
    return false;
}

TEST(ToolCli, EveryMistakeExitsSixtyFourAndSaysWhatWasWrongAndWhereHelpIs) {
    struct Case {
        std::vector<std::string> args;
        std::string message;  // the whole of standard error
    };
    const Case cases[] = {
        {{},
         "zandrel-tool: a command is missing (commands: ftp-put, json2xml, layout-solve, new-plugin, "
         "urlencode, "
         "version-compare, xml2json); see zandrel-tool --help\n"},
        {{"bogus"},
         "zandrel-tool: unknown command 'bogus' (commands: ftp-put, json2xml, layout-solve, new-plugin, "
         "urlencode, "
         "version-compare, xml2json); see zandrel-tool --help\n"},
        {{"xml2jsn", "a.xml"},
         "zandrel-tool: unknown command 'xml2jsn'; did you mean `xml2json`? (commands: "
         "ftp-put, json2xml, layout-solve, new-plugin, urlencode, version-compare, xml2json); see "
         "zandrel-tool --help\n"},
        {{"--foo"}, "zandrel-tool: unknown option --foo; see zandrel-tool --help\n"},
        {{"urlencode", "--foo", "x"},
         "zandrel-tool urlencode: unknown option --foo; see zandrel-tool urlencode --help\n"},
        {{"urlencode", "--latin", "x"},
         "zandrel-tool urlencode: unknown option --latin (did you mean "
         "`--latin1`?); see zandrel-tool urlencode --help\n"},
        {{"xml2json", "--no-colapse", "a.xml"},
         "zandrel-tool xml2json: unknown option --no-colapse (did you "
         "mean `--no-collapse`?); see zandrel-tool xml2json --help\n"},
        // (Without a text, urlencode reads a piped standard input: ToolContractsTest.)
        {{"xml2json", "a", "b"},
         "zandrel-tool xml2json: unexpected argument 'b'; see zandrel-tool xml2json --help\n"},
        {{"urlencode", "a", "b"},
         "zandrel-tool urlencode: unexpected argument 'b'; see zandrel-tool urlencode --help\n"},
        {{"json2xml", "--max-bytes"},
         "zandrel-tool json2xml: option --max-bytes needs a value; see zandrel-tool json2xml --help\n"},
        {{"xml2json", "--max-bytes", "lots", "-"},
         "zandrel-tool xml2json: --max-bytes: 'lots' is no byte count: give a whole number from 1 to "
         "18446744073709551615; see zandrel-tool xml2json --help\n"},
        {{"urlencode", "--max-bytes", "0", "-"},
         "zandrel-tool urlencode: --max-bytes: '0' is no byte count: give a whole number from 1 to "
         "18446744073709551615; see zandrel-tool urlencode --help\n"},
        {{"json2xml", "--root", "a", "--allow-several-roots", "-"},
         "zandrel-tool json2xml: --root excludes --allow-several-roots; see zandrel-tool json2xml --help\n"},
        {{"ftp-put", "--url", "ftp://h/", "--user", "u", "--password-file", "p"},
         "zandrel-tool ftp-put: SOURCE is required; see zandrel-tool ftp-put --help\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = tool(c.args);
        const std::string shown = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(r.exitCode, 64) << shown << ": " << r.err;
        EXPECT_EQ(r.err, c.message) << shown;
        EXPECT_EQ(r.out, "") << shown;
    }
}

TEST(ToolCli, HostileArgumentsAreEchoedEscapedAndCut) {
    const std::string huge(100000, 'q');  // near the kernel's limit for one argument
    for (const std::vector<std::string>& args : {std::vector<std::string>{huge},
                                                 {"urlencode", "--" + huge, "x"},
                                                 {"xml\x1b[2J\x1b]0;owned\x07", "x"},
                                                 {"urlencode", "--\x1b[31mred", "x"},
                                                 {"\xFF\xFE\xC3"}}) {
        ProcessResult r = tool(args);
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_LT(r.err.size(), 400u) << r.err.substr(0, 100);
        EXPECT_FALSE(hasRawControl(r.err)) << r.err;
    }
    ProcessResult r = tool({"xml\x1b[2J"});
    EXPECT_TRUE(contains(r.err, "unknown command 'xml\\x1b[2J'")) << r.err;
    r = tool({"\xFF\xFE"});
    EXPECT_TRUE(contains(r.err, "unknown command '\\xff\\xfe'")) << r.err;
}

TEST(ToolCli, EveryFailureMessageCarriesTheCommandsPrefix) {
    testsupport::TempDir dir;
    dir.write("bad.json", "{\"a\": [1, 2");
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string prefix;
    };
    const Case cases[] = {
        {{"json2xml", (dir / "bad.json").string()},
         "",
         "zandrel-tool json2xml: " + (dir / "bad.json").string() + ": "},
        {{"json2xml", "-"}, "[1]", "zandrel-tool json2xml: standard input: "},
        {{"xml2json", (dir / "none.xml").string()}, "", "zandrel-tool xml2json: cannot read "},
        {{"xml2json", "-"}, "<a>", "zandrel-tool xml2json: standard input: "},
        {{"urlencode", "--latin1", "\xE2\x82\xAC"}, "", "zandrel-tool urlencode: "},
        {{"ftp-put", "--url", "http://x/", "--user", "u", "--password-file", "p", "f"},
         "",
         "zandrel-tool ftp-put: --url must be"},
    };
    for (const auto& c : cases) {
        ProcessResult r = tool(c.args, c.input);
        EXPECT_NE(r.exitCode, 0) << c.args[0];
        EXPECT_TRUE(r.err.starts_with(c.prefix)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST(ToolCli, UrlEncodeDashReadsStandardInputWithoutItsFinalLineEnd) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string out;
    };
    const Case cases[] = {
        {{"urlencode", "-"}, "hi\n", "hi\n"},
        {{"urlencode", "-"}, "hi", "hi\n"},
        {{"urlencode", "-"}, "a b\r\n", "a%20b\n"},
        {{"urlencode", "-"}, "two\nlines\n", "two%0Alines\n"},
        {{"urlencode", "-"}, "x\n\n", "x%0A\n"},
        {{"urlencode", "-"}, "", "\n"},
        {{"urlencode", "--keep-newline", "-"}, "hi\n", "hi%0A\n"},
        {{"urlencode", "--latin1", "-"}, "caf\xC3\xA9\n", "caf%E9\n"},
        {{"urlencode", "--", "-x"}, "ignored\n", "-x\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = tool(c.args, c.input);
        EXPECT_EQ(r.exitCode, 0) << c.input << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.input;
    }
    // The argument and standard input give the same encoding.
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::string text(1 + random() % 30, ' ');
        for (char& c : text) c = static_cast<char>(0x20 + random() % 0x5F);
        if (text[0] == '-') text[0] = '+';
        EXPECT_EQ(tool({"urlencode", "-"}, text + "\n").out, tool({"urlencode", text}).out) << text;
    }
    ProcessResult big = tool({"urlencode", "--max-bytes", "10", "-"}, std::string(100, 'a'));
    EXPECT_EQ(big.exitCode, 2);
    EXPECT_TRUE(contains(big.err, "--max-bytes")) << big.err;
}

TEST(ToolCli, JsonErrorsGiveLineColumnAndWhatWasExpectedInTheToolsWords) {
    struct Case {
        std::string json;
        std::string where;
        std::string what;
    };
    const Case cases[] = {
        {"{\"a\": ", "line 1, column 7", "unexpected end of input"},
        {"[1,\n2,\n]", "line 3, column 1", "unexpected ']'"},
        {"{\"a\" 1}", "line 1, column 6", "expected ':'"},
        {"[1 2]", "line 1, column 4", "expected ']'"},
        {"\xFF", "line 1, column 1", "invalid literal"},
        {"[\"a\x01\"]", "line 1, column 4", "control character"},
        {"\x1b[2J", "line 1, column 1", "invalid literal"},
    };
    for (const auto& c : cases) {
        ProcessResult r = tool({"json2xml", "-"}, c.json);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(
            r.err.starts_with("zandrel-tool json2xml: standard input: JSON parse error at " + c.where))
            << r.err;
        EXPECT_TRUE(contains(r.err, c.what)) << r.err;
        EXPECT_FALSE(contains(r.err, "json.exception")) << r.err;
        EXPECT_FALSE(hasRawControl(r.err)) << r.err;
        EXPECT_FALSE(contains(r.err, "\xFF")) << r.err;
    }
}

TEST(ToolCli, Json2XmlRefusesATopLevelArrayUnlessToldWhatToMakeOfIt) {
    const std::string items = R"([1, "two", {"three": 3}])";
    ProcessResult refused = tool({"json2xml", "-"}, items);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(contains(refused.err, "several roots")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "--root NAME")) << refused.err;
    EXPECT_EQ(tool({"json2xml", "-"}, "[]").exitCode, 1) << "no root at all is no document either";

    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string out;
    };
    const Case cases[] = {
        {{"--root", "list"},
         items,
         "<list><item>1</item>\n<item>two</item>\n<item><three>3</three></item></list>\n"},
        {{"--root", "list", "--name", "entry"}, "[1,2]", "<list><entry>1</entry>\n<entry>2</entry></list>\n"},
        {{"--root", "list"}, "[]", "<list/>\n"},
        {{"--root", "doc"}, R"({"a": 1})", "<doc><item><a>1</a></item></doc>\n"},
        {{"--allow-several-roots"},
         items,
         "<root>1</root>\n<root>two</root>\n<root><three>3</three></root>\n"},
        {{"--allow-several-roots", "--name", "n"}, "[1,2]", "<n>1</n>\n<n>2</n>\n"},
        {{},
         R"({"a": [1, 2]})",
         "<root><a>1</a>\n<a>2</a></root>\n"},  // arrays below the top stay as they were
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"json2xml"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("-");
        ProcessResult r = tool(args, c.input);
        EXPECT_EQ(r.exitCode, 0) << c.input << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.input;
    }
    ProcessResult attribute = tool({"json2xml", "--root", "l", "--name", "_a", "-"}, "[1]");
    EXPECT_EQ(attribute.exitCode, 64);
    EXPECT_TRUE(contains(attribute.err, "attribute")) << attribute.err;
}

// What the items of an array become must not depend on how they are asked for: wrapped in --root,
// one after another, or one at a time.
TEST(ToolCli, Json2XmlWritesArrayItemsAlikeWhicheverWayTheyAreAskedFor) {
    std::mt19937 random(20261207);
    auto word = [&] {
        std::string text(1 + random() % 8, 'a');
        for (char& c : text) c = static_cast<char>('a' + random() % 26);
        return text;
    };
    for (int round = 0; round < 12; ++round) {
        std::vector<std::string> items;
        for (size_t i = 0, n = 1 + random() % 4; i < n; ++i) {
            switch (random() % 3) {
                case 0:
                    items.push_back(std::to_string(random() % 100000));
                    break;
                case 1:
                    items.push_back("\"" + word() + " & <" + word() + ">\"");
                    break;
                default:
                    items.push_back("{\"" + word() + "\": [\"" + word() + "\", " +
                                    std::to_string(random() % 9) + "]}");
            }
        }
        std::string array = "[", oneByOne;
        for (size_t i = 0; i < items.size(); ++i) {
            array += (i ? "," : "") + items[i];
            ProcessResult single = tool({"json2xml", "--name", "it", "-"}, items[i]);
            ASSERT_EQ(single.exitCode, 0) << items[i] << single.err;
            oneByOne += single.out;
        }
        array += "]";
        ProcessResult several = tool({"json2xml", "--allow-several-roots", "--name", "it", "-"}, array);
        EXPECT_EQ(several.out, oneByOne) << array;
        ProcessResult wrapped = tool({"json2xml", "--root", "all", "--name", "it", "-"}, array);
        std::string inner = oneByOne.substr(0, oneByOne.size() - 1);
        EXPECT_EQ(wrapped.out, "<all>" + inner + "</all>\n") << array;
    }
}

}  // namespace
