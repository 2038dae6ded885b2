// The user's locale from the POSIX locale variables.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Locale.h"

namespace {

TEST(LocaleTest, ReadsPosixLocaleNames) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"de_CH.UTF-8", "de_CH"},
        {"de_DE@euro", "de_DE"},
        {"en_US", "en_US"},
        {"fr", "fr"},
        {"pt-br", "pt_BR"},
        {"EN_gb.utf8", "en_GB"},
        {"es_419.UTF-8", "es_419"},
        {"ast_ES", "ast_ES"},
        {"de_CHE", "de"},  // a region of the wrong shape is left out, the language stays
        {"C", std::nullopt},
        {"C.UTF-8", std::nullopt},
        {"POSIX", std::nullopt},
        {"", std::nullopt},
        {"/usr/lib/locale/x", std::nullopt},
        {"d1_CH", std::nullopt},
        {"\x1b[31m", std::nullopt},
        {"german", std::nullopt},
    };
    for (const auto& [name, identifier] : cases)
        EXPECT_EQ(platform::Locale::identifierFromPosixName(name), identifier) << name;
}

class LocaleEnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables)
            if (const char* v = std::getenv(name)) saved[name] = v;
    }
    void TearDown() override {
        for (const char* name : kVariables) {
            if (auto it = saved.find(name); it != saved.end())
                setenv(name, it->second.c_str(), 1);
            else
                unsetenv(name);
        }
        platform::Locale::setCurrentForTesting(std::nullopt);
    }
    static constexpr const char* kVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> saved;
};

TEST_F(LocaleEnvironmentTest, TheFirstVariableSetDecidesAndDefaultsToUSEnglish) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* identifier;
        const char* language;
    };
    const std::vector<Case> cases = {
        {"de_CH.UTF-8", "fr_FR", "it_IT", "de_CH", "de"}, {nullptr, "fr_FR.UTF-8", "it_IT", "fr_FR", "fr"},
        {"", "", "it_IT.UTF-8", "it_IT", "it"},           {nullptr, nullptr, nullptr, "en_US", "en"},
        {"C", nullptr, "de_DE", "en_US", "en"},  // C set first is not overridden by LANG
        {nullptr, nullptr, "POSIX", "en_US", "en"},
    };
    for (const auto& c : cases) {
        auto set = [](const char* name, const char* value) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        };
        set("LC_ALL", c.lcAll);
        set("LC_MESSAGES", c.lcMessages);
        set("LANG", c.lang);
        EXPECT_EQ(platform::Locale::currentLocaleIdentifier(), c.identifier);
        EXPECT_EQ(platform::Locale::currentLanguageCode(), c.language);
    }
    platform::Locale::setCurrentForTesting("pt_BR");
    EXPECT_EQ(platform::Locale::currentLocaleIdentifier(), "pt_BR");
    EXPECT_EQ(platform::Locale::currentLanguageCode(), "pt");
}

}  // namespace
