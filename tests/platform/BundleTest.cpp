#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

// Sets the language variables for one test and puts the old values back.
class LanguageEnvironment {
public:
    LanguageEnvironment() {
        for (const char* name : kNames) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~LanguageEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
        }
    }
    void set(const char* name, const char* value) { ::setenv(name, value, 1); }

private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousSink = Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
        dir.write("Plugin.bundle/Info.json",
                  R"({"CFBundleIdentifier": "com.example.zandrel", "CFBundleExecutable": "libZandrel.so"})");
        dir.write("Plugin.bundle/Resources/en.lproj/VEXAFramework.json",
                  R"({"Cancel": "Cancel", "OK": "OK"})");
        dir.write("Plugin.bundle/Resources/de.lproj/VEXAFramework.json", R"({"Cancel": "Abbrechen"})");
        dir.write("Plugin.bundle/Resources/en.lproj/Broken.json", "{ nope");
    }
    void TearDown() override { Log::setSink(previousSink); }
    std::shared_ptr<Bundle> open() {
        auto bundle = Bundle::open(dir / "Plugin.bundle");
        EXPECT_TRUE(bundle) << bundle.status().message();
        return bundle.value();
    }
    testsupport::TempDir dir;
    LanguageEnvironment env;
    Log::Sink previousSink;
    std::vector<std::string> logLines;
};

TEST_F(BundleTest, ReadsItsInfoAndFindsResources) {
    auto bundle = open();
    EXPECT_EQ(bundle->bundleIdentifier(), "com.example.zandrel");
    EXPECT_EQ(*bundle->executablePath(), dir / "Plugin.bundle/libZandrel.so");
    EXPECT_EQ(bundle->pathForResource("VEXAFramework.json"),
              dir / "Plugin.bundle/Resources/en.lproj/VEXAFramework.json");
    EXPECT_FALSE(bundle->pathForResource("Nothing.json"));
}

TEST_F(BundleTest, OpeningSomethingElseFailsClearly) {
    auto missing = Bundle::open(dir / "Nowhere");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.status().message().find("has no readable Info.json"), std::string::npos);
    dir.write("Bad.bundle/Info.json", "[1, 2]");
    auto bad = Bundle::open(dir / "Bad.bundle");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.status().message().find("Info.json is not valid"), std::string::npos);
}

struct LookupCase {
    const char* name;
    const char* language;  // LANG
    const char* key;
    const char* fallback;
    const char* table;
    const char* expected;
};

TEST_F(BundleTest, StringTableLookupFallsBackToEnglishThenTheKey) {
    const LookupCase cases[] = {
        {"english", "en_US.UTF-8", "Cancel", "", "VEXAFramework", "Cancel"},
        {"german", "de_CH.UTF-8", "Cancel", "", "VEXAFramework", "Abbrechen"},
        {"german table lacks the key: english", "de_DE", "OK", "", "VEXAFramework", "OK"},
        {"missing key returns the key", "en_US", "VEXAUnknownKey", "", "VEXAFramework", "VEXAUnknownKey"},
        {"missing key with a value", "en_US", "VEXAUnknownKey", "Fallback", "VEXAFramework", "Fallback"},
        {"missing table", "en_US", "Cancel", "", "NoSuchTable", "Cancel"},
        {"broken table", "en_US", "Cancel", "", "Broken", "Cancel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        env.set("LANG", c.language);
        auto bundle = open();  // a fresh bundle: tables are cached per bundle
        EXPECT_EQ(bundle->localizedStringForKey(c.key, c.fallback, c.table), c.expected);
    }
    ASSERT_EQ(logLines.size(), 1u);  // the broken table, once
    EXPECT_NE(logLines[0].find("Broken.json is not valid JSON"), std::string::npos) << logLines[0];
}

TEST_F(BundleTest, PreferredLanguagesComeFromTheEnvironment) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> vars;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{}, {"en"}},
        {{{"LANG", "C"}}, {"en"}},
        {{{"LANG", "de_CH.UTF-8"}}, {"de", "en"}},
        {{{"LANG", "fr_FR"}, {"LC_ALL", "it_IT.UTF-8"}}, {"it", "en"}},
        {{{"LANGUAGE", "pt_BR:de:en"}, {"LANG", "fr_FR"}}, {"pt", "de", "en", "fr"}},
        {{{"LC_MESSAGES", "es_ES@euro"}}, {"es", "en"}},
    };
    for (const auto& c : cases) {
        LanguageEnvironment scoped;
        for (const auto& [name, value] : c.vars) scoped.set(name, value);
        EXPECT_EQ(Bundle::preferredLanguages(), c.expected);
    }
}

}  // namespace
