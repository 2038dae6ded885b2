#include <gtest/gtest.h>

#include <fstream>

#include "platform/foundation/ProcessInfo.h"
#include "tests/support/CaseName.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using platform::ProcessInfo;
using testsupport::TempDir;

namespace {

const char* systemOsRelease() {
    return std::filesystem::exists("/etc/os-release") ? "/etc/os-release" : "/usr/lib/os-release";
}

// A variable of the running system's os-release as a shell reads it (the file is a list of shell
// assignments): a reading that shares nothing with ProcessInfo's.
std::string shellReads(const std::string& variable) {
    return testsupport::runProgram(
               {"/bin/sh", "-c",
                std::string(". ") + systemOsRelease() + " && printf %s \"$" + variable + "\""})
        .out;
}

std::string firstLine(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

struct OsReleaseCase {
    const char* name;
    std::string contents;
    std::optional<std::string> version;
};

void PrintTo(const OsReleaseCase& c, std::ostream* os) {
    *os << c.name;
}

class ProcessInfoOsReleaseTest : public ::testing::TestWithParam<OsReleaseCase> {};

TEST_P(ProcessInfoOsReleaseTest, ReadsVersionIdOfTheFile) {
    const auto& c = GetParam();
    TempDir dir;
    dir.write("os-release", c.contents);
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(dir / "os-release"), c.version);
}

const std::string kDebian =
    "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
    "VERSION=\"12 (bookworm)\"\nID=debian\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ProcessInfoOsReleaseTest,
    ::testing::Values(
        OsReleaseCase{"debian", kDebian, "12"},
        OsReleaseCase{"unquoted", "ID=ubuntu\nVERSION_ID=22.04\n", "22.04"},
        OsReleaseCase{"singleQuoted", "VERSION_ID='3.19.1'\n", "3.19.1"},
        OsReleaseCase{"escapedInDoubleQuotes", "VERSION_ID=\"1\\.2\"\n", std::nullopt},
        OsReleaseCase{"crlfLines", "NAME=x\r\nVERSION_ID=\"15.5\"\r\n", "15.5"},
        OsReleaseCase{"noNewlineAtEnd", "VERSION_ID=7", "7"},
        OsReleaseCase{"lastAssignmentWins", "VERSION_ID=1\nVERSION_ID=2\n", "2"},
        OsReleaseCase{"rollingReleaseHasNone", "NAME=Arch\nID=arch\nBUILD_ID=rolling\n", std::nullopt},
        OsReleaseCase{"similarKeysAreNotIt", "VERSION_IDS=4\nXVERSION_ID=5\nVERSION=6\n", std::nullopt},
        OsReleaseCase{"indentedIsNotAnAssignment", "  VERSION_ID=8\n", std::nullopt},
        OsReleaseCase{"emptyValue", "VERSION_ID=\n", std::nullopt},
        OsReleaseCase{"emptyQuotes", "VERSION_ID=\"\"\n", std::nullopt},
        OsReleaseCase{"emptyFile", "", std::nullopt},
        OsReleaseCase{"unbalancedQuote", "VERSION_ID=\"12\n", std::nullopt},
        OsReleaseCase{"spaces", "VERSION_ID=\"12 beta\"\n", std::nullopt},
        OsReleaseCase{"shellCommand", "VERSION_ID=$(reboot)\n", std::nullopt},
        OsReleaseCase{"binary", std::string("VERSION_ID=\x01\xff\0\x7f", 15), std::nullopt},
        OsReleaseCase{"nulBeforeTheLine", std::string("\0\0\nVERSION_ID=9\n", 16), "9"},
        OsReleaseCase{"tooLongForAVersion", "VERSION_ID=" + std::string(65, '1') + "\n", std::nullopt},
        OsReleaseCase{"longestVersion", "VERSION_ID=" + std::string(64, '1') + "\n", std::string(64, '1')},
        OsReleaseCase{"afterTheReadLimit",
                      std::string(ProcessInfo::kOsReleaseReadLimit, '#') + "\nVERSION_ID=1\n", std::nullopt},
        OsReleaseCase{"oneHugeLineThenTheValue", std::string(1 << 24, 'x') + "\nVERSION_ID=1\n",
                      std::nullopt},
        OsReleaseCase{"manyLinesBeforeTheLimit", std::string(20000, '\n') + "VERSION_ID=10\n", "10"}),
    testsupport::CaseName());

TEST(ProcessInfoTest, NoVersionFromWhatIsNotARegularFile) {
    TempDir dir;
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(dir / "missing"), std::nullopt);
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(dir.path()), std::nullopt);
    // Endless: reading it would never stop without a bound, and it is no file anyway.
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion("/dev/zero"), std::nullopt);
}

TEST(ProcessInfoTest, TheRunningSystemIsWhatTheShellAndTheKernelSay) {
    const std::string version = shellReads("VERSION_ID");
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(),
              version.empty() ? std::nullopt : std::optional<std::string>(version));
    std::string expected =
        firstLine("/proc/sys/kernel/ostype") + " " + firstLine("/proc/sys/kernel/osrelease");
    if (const std::string pretty = shellReads("PRETTY_NAME"); !pretty.empty())
        expected += " (" + pretty + ")";
    EXPECT_EQ(ProcessInfo::operatingSystemVersionString(), expected);
}

TEST(ProcessInfoTest, TestsCanPinTheVersionOrItsAbsence) {
    ProcessInfo::setOperatingSystemProductVersionForTesting(std::optional<std::string>("10.12"));
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(), "10.12");
    ProcessInfo::setOperatingSystemProductVersionForTesting(std::optional<std::string>());
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion(), std::nullopt);
    ProcessInfo::setOperatingSystemProductVersionForTesting(std::nullopt);
    EXPECT_EQ(ProcessInfo::operatingSystemProductVersion().value_or(""), shellReads("VERSION_ID"));
}

}  // namespace
