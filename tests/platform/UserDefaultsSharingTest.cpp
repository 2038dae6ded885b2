// Several processes of one account share one preferences file: none loses another's keys, and
// each sees the others' changes at its next read.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

class UserDefaultsSharingTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink = Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
    }
    void TearDown() override { Log::setSink(previousSink); }

    // Runs `work` in a child process with a UserDefaults of its own on the file; the child's exit
    // status is 0 only when every write it made reported success.
    pid_t startWriter(const std::function<bool(UserDefaults&)>& work) {
        pid_t pid = ::fork();
        if (pid == 0) {
            UserDefaults defaults(file);
            ::_exit(work(defaults) ? 0 : 1);
        }
        return pid;
    }
    static void expectExitedCleanly(pid_t pid) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    static bool writeKeys(UserDefaults& defaults, const std::string& prefix, int count) {
        bool allWritten = true;
        for (int i = 0; i < count; ++i)
            allWritten =
                defaults.setObjectForKey(Value(int64_t{i}), prefix + std::to_string(i)).isOk() && allWritten;
        return allWritten;
    }

    testsupport::TempDir dir;
    std::filesystem::path file = dir / "host.json";
    Log::Sink previousSink;
    std::vector<std::string> logLines;
};

TEST_F(UserDefaultsSharingTest, ConcurrentWritersInSeveralProcessesKeepEveryKey) {
    constexpr int kKeys = 60;
    UserDefaults mine(file);
    pid_t first = startWriter([](UserDefaults& d) { return writeKeys(d, "first.", kKeys); });
    pid_t second = startWriter([](UserDefaults& d) { return writeKeys(d, "second.", kKeys); });
    EXPECT_TRUE(writeKeys(mine, "parent.", kKeys));
    expectExitedCleanly(first);
    expectExitedCleanly(second);

    UserDefaults fresh(file);
    ASSERT_TRUE(fresh.loadStatus());
    EXPECT_EQ(fresh.dictionaryRepresentation().size(), 3u * kKeys);
    for (const char* prefix : {"first.", "second.", "parent."})
        for (int i = 0; i < kKeys; ++i)
            EXPECT_EQ(fresh.objectForKey(prefix + std::to_string(i)), Value(int64_t{i})) << prefix << i;
    // The parent's own instance sees the children's keys at its next read, with no reload.
    EXPECT_EQ(mine.dictionaryRepresentation().size(), 3u * kKeys);
    EXPECT_TRUE(logLines.empty());
}

TEST_F(UserDefaultsSharingTest, AReadSeesAnotherProcessesWriteWithoutReload) {
    UserDefaults reader(file);
    ASSERT_TRUE(reader.setObjectForKey(Value(Array{"2.1"}), "VEXAPluginVersionSkipList.com.example"));
    EXPECT_TRUE(reader.objectForKey("theirs").isNull());

    expectExitedCleanly(startWriter([](UserDefaults& d) {
        auto list = d.objectForKey("VEXAPluginVersionSkipList.com.example").asArray();
        list.push_back(Value("2.2"));
        return d.setObjectForKey(Value(list), "VEXAPluginVersionSkipList.com.example").isOk() &&
               d.setObjectForKey(Value("v"), "theirs").isOk();
    }));
    EXPECT_EQ(reader.objectForKey("theirs"), Value("v"));
    EXPECT_EQ(reader.objectForKey("VEXAPluginVersionSkipList.com.example"), Value(Array{"2.1", "2.2"}));

    expectExitedCleanly(startWriter([](UserDefaults& d) { return d.removeObjectForKey("theirs").isOk(); }));
    EXPECT_TRUE(reader.objectForKey("theirs").isNull());
}

// Two instances on one file stand for two processes: each was opened before the other wrote.
struct InterleavingCase {
    const char* name;
    const char* initial;  // the file before both open it
    std::function<void(UserDefaults& a, UserDefaults& b)> steps;
    const char* expected;  // the file afterwards
};

TEST_F(UserDefaultsSharingTest, StaleInstancesChangeOnlyTheirOwnKeys) {
    const std::vector<InterleavingCase> cases = {
        {"both set different keys", "{}",
         [](UserDefaults& a, UserDefaults& b) {
             ASSERT_TRUE(a.setObjectForKey(Value("1"), "a"));
             ASSERT_TRUE(b.setObjectForKey(Value("2"), "b"));
         },
         R"({"a": "1", "b": "2"})"},
        {"a removal elsewhere is not undone", R"({"gone": true, "kept": 1})",
         [](UserDefaults& a, UserDefaults& b) {
             ASSERT_TRUE(a.removeObjectForKey("gone"));
             ASSERT_TRUE(b.setObjectForKey(Value(int64_t{2}), "kept"));
         },
         R"({"kept": 2})"},
        {"removing a key the other added after opening", "{}",
         [](UserDefaults& a, UserDefaults& b) {
             ASSERT_TRUE(a.setObjectForKey(Value("x"), "late"));
             ASSERT_TRUE(b.removeObjectForKey("late"));
         },
         "{}"},
        {"the later write of one key wins", R"({"k": 0})",
         [](UserDefaults& a, UserDefaults& b) {
             ASSERT_TRUE(a.setObjectForKey(Value(int64_t{1}), "k"));
             ASSERT_TRUE(b.setObjectForKey(Value(int64_t{2}), "k"));
             ASSERT_TRUE(a.setObjectForKey(Value("other"), "o"));
         },
         R"({"k": 2, "o": "other"})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("host.json", c.initial);
        UserDefaults a(file);
        UserDefaults b(file);
        c.steps(a, b);
        EXPECT_EQ(Value::parseJson(dir.read("host.json")), Value::parseJson(c.expected));
        EXPECT_EQ(Value(a.dictionaryRepresentation()), Value::parseJson(c.expected));
        EXPECT_EQ(Value(b.dictionaryRepresentation()), Value::parseJson(c.expected));
    }
}

TEST_F(UserDefaultsSharingTest, AFileCorruptedAfterOpeningIsMovedAsideBeforeTheNextWrite) {
    UserDefaults defaults(file);
    ASSERT_TRUE(defaults.setObjectForKey(Value("before"), "k"));
    dir.write("host.json", "{ broken by someone");
    ASSERT_TRUE(defaults.setObjectForKey(Value("after"), "mine"));

    EXPECT_EQ(Value::parseJson(dir.read("host.json")), Value::parseJson(R"({"mine": "after"})"));
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("host.json.corrupt-", 0) == 0) {
            ++aside;
            EXPECT_EQ(dir.read(entry.path().filename().string()), "{ broken by someone");
        }
    EXPECT_EQ(aside, 1);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("is not valid JSON"), std::string::npos);
}

TEST_F(UserDefaultsSharingTest, UpdatesOfOneKeyFromSeveralProcessesAllTakeEffect) {
    // Each process adds versions to one skip list at the same time as the others.
    constexpr int kEach = 40;
    auto addVersions = [](const std::string& prefix) {
        return [prefix](UserDefaults& d) {
            bool allWritten = true;
            for (int i = 0; i < kEach; ++i) {
                auto updated = d.updateObjectForKey("skip", [&](const Value& current) {
                    Array list = current.isArray() ? current.asArray() : Array{};
                    list.push_back(Value(prefix + std::to_string(i)));
                    return Value(list);
                });
                allWritten = updated.isOk() && allWritten;
            }
            return allWritten;
        };
    };
    pid_t first = startWriter(addVersions("a"));
    pid_t second = startWriter(addVersions("b"));
    UserDefaults mine(file);
    EXPECT_TRUE(addVersions("c")(mine));
    expectExitedCleanly(first);
    expectExitedCleanly(second);
    EXPECT_EQ(UserDefaults(file).objectForKey("skip").asArray().size(), 3u * kEach);
}

TEST_F(UserDefaultsSharingTest, AnUpdateStartsFromTheFileTheRegisteredDefaultOrNull) {
    UserDefaults stale(file);
    stale.registerDefaults({{"withDefault", Value(int64_t{10})}});
    UserDefaults other(file);
    ASSERT_TRUE(other.setObjectForKey(Value(int64_t{5}), "counter"));  // after `stale` read the file
    struct Case {
        const char* key;
        Value seen;
        Value stored;  // what the change stores: seen + 1, or null (removes) when seen is null
    };
    const Case cases[] = {{"counter", Value(int64_t{5}), Value(int64_t{6})},
                          {"withDefault", Value(int64_t{10}), Value(int64_t{11})},
                          {"nothing", Value(), Value()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        std::vector<Value> seen;
        auto result = stale.updateObjectForKey(c.key, [&](const Value& current) {
            seen.push_back(current);
            return current.isNull() ? Value() : Value(current.asInteger() + 1);
        });
        ASSERT_TRUE(result.isOk()) << result.status().message();
        EXPECT_EQ(seen, std::vector<Value>{c.seen});
        EXPECT_EQ(*result, c.stored);
        EXPECT_EQ(UserDefaults(file).dictionaryRepresentation().count(c.key), c.stored.isNull() ? 0u : 1u);
    }
    EXPECT_EQ(other.objectForKey("counter"), Value(int64_t{6}));
}

}  // namespace
