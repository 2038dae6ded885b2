#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink = Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
    }
    void TearDown() override { Log::setSink(previousSink); }
    std::vector<std::filesystem::path> filesIn(const std::filesystem::path& dirPath) const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dirPath))
            files.push_back(entry.path().filename());
        std::sort(files.begin(), files.end());
        return files;
    }
    testsupport::TempDir dir;
    Log::Sink previousSink;
    std::vector<std::string> logLines;
};

TEST_F(UserDefaultsTest, ValuesPersistAcrossInstances) {
    auto path = dir / "prefs/host.json";
    {
        UserDefaults defaults(path);
        EXPECT_TRUE(defaults.loadStatus().isOk());
        EXPECT_TRUE(defaults.objectForKey("missing").isNull());
        EXPECT_TRUE(
            defaults.setObjectForKey(Value(Array{"2.1", "2.2b1"}), "VEXAPluginVersionSkipList.com.example"));
        EXPECT_TRUE(defaults.setObjectForKey(Value(int64_t{3}), "count"));
        EXPECT_TRUE(defaults.setObjectForKey(Value(true), "gone"));
        EXPECT_TRUE(defaults.removeObjectForKey("gone"));
        EXPECT_TRUE(defaults.setObjectForKey(Value(), "count2"));  // null removes: nothing stored
    }
    UserDefaults again(path);
    EXPECT_EQ(again.objectForKey("VEXAPluginVersionSkipList.com.example"), Value(Array{"2.1", "2.2b1"}));
    EXPECT_EQ(again.objectForKey("count"), Value(int64_t{3}));
    EXPECT_TRUE(again.objectForKey("gone").isNull());
    EXPECT_EQ(again.dictionaryRepresentation().size(), 2u);
}

TEST_F(UserDefaultsTest, AtomicWriteLeavesNoTemporaryFile) {
    UserDefaults defaults(dir / "host.json");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(defaults.setObjectForKey(Value(int64_t{i}), "k"));
    // The lock file that serialises writers stays beside the file; nothing else does.
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::filesystem::path>{"host.json", "host.json.lock"}));
    EXPECT_EQ(Value::parseJson(dir.read("host.json")).at("k"), Value(int64_t{2}));
}

TEST_F(UserDefaultsTest, CorruptFileIsReportedKeptAsideAndNeverOverwritten) {
    dir.write("host.json", "{ not json");
    UserDefaults first(dir / "host.json");
    EXPECT_FALSE(first.loadStatus().isOk());
    EXPECT_NE(first.loadStatus().message().find("is not valid JSON"), std::string::npos);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_TRUE(first.dictionaryRepresentation().empty());
    ASSERT_TRUE(first.setObjectForKey(Value("fresh"), "k"));

    // A second corrupt file, very likely within the same second: both are kept.
    dir.write("host.json", "[ also broken");
    UserDefaults second(dir / "host.json");
    EXPECT_FALSE(second.loadStatus().isOk());

    std::vector<std::string> aside;
    for (const auto& name : filesIn(dir.path()))
        if (name.string().rfind("host.json.corrupt-", 0) == 0) aside.push_back(dir.read(name.string()));
    std::sort(aside.begin(), aside.end());
    EXPECT_EQ(aside, (std::vector<std::string>{"[ also broken", "{ not json"}));
    EXPECT_FALSE(std::filesystem::exists(dir / "host.json"));  // nothing new written yet
}

TEST_F(UserDefaultsTest, CorruptFileThatCannotBeMovedIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can rename in a read-only directory";
    auto sub = dir / "locked";
    std::filesystem::create_directories(sub);
    dir.write("locked/host.json", "{ broken");
    ::chmod(sub.c_str(), 0555);
    UserDefaults defaults(sub / "host.json");
    EXPECT_FALSE(defaults.loadStatus().isOk());
    EXPECT_FALSE(defaults.setObjectForKey(Value("x"), "k"));
    ::chmod(sub.c_str(), 0755);
    EXPECT_EQ(dir.read("locked/host.json"), "{ broken");
}

TEST_F(UserDefaultsTest, ReloadSeesAnotherWriter) {
    UserDefaults reader(dir / "host.json");
    UserDefaults writer(dir / "host.json");
    EXPECT_TRUE(reader.objectForKey("k").isNull());
    ASSERT_TRUE(writer.setObjectForKey(Value("v"), "k"));
    // The next read sees it without being asked to reload; reload() re-reads all the same.
    EXPECT_EQ(reader.objectForKey("k"), Value("v"));
    ASSERT_TRUE(writer.setObjectForKey(Value("w"), "k"));
    EXPECT_TRUE(reader.reload());
    EXPECT_EQ(reader.dictionaryRepresentation().at("k"), Value("w"));
}

}  // namespace
