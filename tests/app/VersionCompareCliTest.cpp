// zandrel-tool version-compare: the two lines a plug-in developer reads.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/HostLauncher.h"

using testsupport::ProcessResult;

namespace {

ProcessResult compare(std::vector<std::string> args) {
    args.insert(args.begin(), "version-compare");
    return testsupport::HostLauncher::tool().run(args);
}

TEST(VersionCompareCliTest, PrintsExactlyTheTwoResults) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"1.3", "1.2.9"}, "higher: true\nhigher-or-equal: true\n"},
        {{"1.2", "1.2.0"}, "higher: false\nhigher-or-equal: false\n"},
        {{"1.2b3", "1.2b4"}, "higher: false\nhigher-or-equal: true\n"},
        {{"1.2", "1.2b3"}, "higher: true\nhigher-or-equal: true\n"},
        {{"--missing", "1.2"}, "higher: false\nhigher-or-equal: false\n"},
        {{"1.2", "--missing"}, "higher: true\nhigher-or-equal: true\n"},
        {{"--missing", "--missing"}, "higher: false\nhigher-or-equal: true\n"},
        {{"-1", "0"}, "higher: false\nhigher-or-equal: false\n"},
        {{"", "0"}, "higher: false\nhigher-or-equal: true\n"},
    };
    for (const auto& c : cases) {
        ProcessResult r = compare(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args[0] << " " << c.args[1] << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.args[0] << " " << c.args[1];
    }
}

TEST(VersionCompareCliTest, AnythingButTwoVersionsIsAUsageError) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"1.2"}, {"1", "2", "3"}, {"--missing"}}) {
        ProcessResult r = compare(args);
        EXPECT_EQ(r.exitCode, 64) << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("expected two versions"), std::string::npos) << r.err;
    }
}

}  // namespace
