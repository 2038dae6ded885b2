// The user's data and settings folders by the XDG Base Directory rules: relative values are
// ignored, and HOME gives the defaults.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/foundation/UserDirectories.h"

namespace {

using platform::UserDirectories;

// Each case sets HOME and both XDG variables; the test puts them back as they were.
class UserDirectoriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kNames)
            if (const char* value = std::getenv(name)) m_saved[name] = value;
    }
    void TearDown() override {
        for (const char* name : kNames)
            set(name, m_saved.count(name) ? m_saved[name] : std::optional<std::string>());
    }
    static void set(const char* name, const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }

private:
    static constexpr const char* kNames[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    std::map<std::string, std::string> m_saved;
};

TEST_F(UserDirectoriesTest, AbsoluteValuesWinAndOthersFallBackToHome) {
    struct Case {
        std::optional<std::string> xdg, home;
        std::string data, config;  // the expected folders
    };
    const Case cases[] = {
        {"/xdg", "/home/ada", "/xdg", "/xdg"},
        {std::nullopt, "/home/ada", "/home/ada/.local/share", "/home/ada/.config"},
        {"", "/home/ada", "/home/ada/.local/share", "/home/ada/.config"},
        {"relative/dir", "/home/ada", "/home/ada/.local/share", "/home/ada/.config"},
        {"./dot", "/home/ada", "/home/ada/.local/share", "/home/ada/.config"},
        {"relative/dir", "relative-home", "", ""},
        {std::nullopt, std::nullopt, "", ""},
        {"/xdg", std::nullopt, "/xdg", "/xdg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdg.value_or("(unset)") + " " + c.home.value_or("(unset)"));
        set("HOME", c.home);
        set("XDG_DATA_HOME", c.xdg);
        set("XDG_CONFIG_HOME", c.xdg);
        EXPECT_EQ(UserDirectories::dataHome(), c.data);
        EXPECT_EQ(UserDirectories::configHome(), c.config);
    }
}

}  // namespace
