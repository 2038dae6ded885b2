// Where errors end: the plug-in object's log lines and alerts, and the class operations that
// reach it without holding it.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <stdexcept>

#include "tests/plugin/PluginTestSupport.h"
#include "tests/support/CaseName.h"

namespace {

struct LogLine {
    int line = 0;
    std::string text;
};

// Splits "<Zandrel VEXAPlugin:(LINE)> TEXT"; nullopt for any other line.
std::optional<LogLine> parseFrameworkLine(const std::string& text) {
    static const std::regex form(R"(^<Zandrel VEXAPlugin:\((\d+)\)> ([\s\S]*)$)");
    std::smatch match;
    if (!std::regex_match(text, match, form)) return std::nullopt;
    return LogLine{std::stoi(match[1].str()), match[2].str()};
}

// The source line a log line names, read from the plug-in's own source file.
std::string sourceLine(int number) {
    // From the configured source folder: __FILE__ may be relative to the build folder.
    auto source =
        std::filesystem::path(ZANDREL_SOURCE_DIR) / "plugin" / "framework" / "Classes" / "VEXAPlugin.cpp";
    std::ifstream in(source);
    std::string line;
    for (int i = 1; i <= number && std::getline(in, line); ++i) {
    }
    return line;
}

class ErrorReportingTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        auto bundle = platform::Bundle::open(ZANDREL_PLUGIN_BUNDLE);
        ASSERT_TRUE(bundle) << bundle.status().message();
        DLPluginObject::setBundleBeingLoaded(bundle.value());
        plugin = std::make_shared<KOPAPlugin>();
        DLPluginObject::setBundleBeingLoaded(nullptr);
        ASSERT_TRUE(plugin->init());
        // How many alerts had been shown when each log line was written.
        log->onLine = [this](const std::string&) { alertsAtLogLine.push_back(ui->alerts().size()); };
    }

    // The one framework line logged; fails the test when there is not exactly one.
    LogLine onlyLine() {
        std::vector<LogLine> found;
        for (const auto& text : log->lines)
            if (auto parsed = parseFrameworkLine(text)) found.push_back(*parsed);
        EXPECT_EQ(found.size(), 1u) << ::testing::PrintToString(log->lines);
        return found.empty() ? LogLine{} : found.front();
    }

    void expectOneAlert(const std::string& message) {
        ASSERT_EQ(ui->alerts().size(), 1u);
        const auto& alert = ui->lastAlert();
        EXPECT_EQ(alert.title, "Zandrel");
        EXPECT_EQ(alert.message, message);
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{plugin->localizeString("OK")}));
    }

    std::shared_ptr<KOPAPlugin> plugin;
    std::vector<size_t> alertsAtLogLine;
};

TEST_F(ErrorReportingTest, ReportedMessageIsLocalizedLoggedThenShown) {
    const std::string key = "Duplicate form definition";
    const std::string localized = plugin->localizeString(key);
    ASSERT_NE(localized, key) << "the plug-in's string table should translate the key";
    ui->answerAlert("OK");
    plugin->reportErrorWithLcalizableMessage(key);

    auto line = onlyLine();
    EXPECT_EQ(line.text, "Error: " + localized);
    EXPECT_NE(sourceLine(line.line).find("KOPA_LOG(\"Error: "), std::string::npos) << sourceLine(line.line);
    ASSERT_EQ(alertsAtLogLine.size(), 1u);
    EXPECT_EQ(alertsAtLogLine[0], 0u) << "the line must be logged before the alert is shown";
    expectOneAlert(localized);
}

TEST_F(ErrorReportingTest, MissingMessageKeyIsShownAsItIs) {
    ui->answerAlert("OK");
    plugin->reportErrorWithLcalizableMessage("No such key: 100%d done");
    EXPECT_EQ(onlyLine().text, "Error: No such key: 100%d done");
    expectOneAlert("No such key: 100%d done");
}

TEST_F(ErrorReportingTest, ExceptionDescriptionIsLoggedThenShown) {
    ui->answerAlert("OK");
    plugin->handleException(std::runtime_error("disk full at 100%d %@"));
    auto line = onlyLine();
    EXPECT_EQ(line.text, "Unhandled exception: disk full at 100%d %@");
    EXPECT_NE(sourceLine(line.line).find("Unhandled exception"), std::string::npos) << sourceLine(line.line);
    EXPECT_EQ(alertsAtLogLine, (std::vector<size_t>{0}));
    expectOneAlert("disk full at 100%d %@");
}

TEST_F(ErrorReportingTest, ErrorLogsFullDescriptionButShowsLocalizedOne) {
    platform::Error error("NSCocoaErrorDomain", 260, "The file \u201cforms.json\u201d couldn't be opened.",
                          "No such file or directory");
    ASSERT_NE(error.description(), error.localizedDescription());
    ui->answerAlert("OK");
    plugin->handleError(error);
    auto line = onlyLine();
    EXPECT_EQ(line.text, "Unhandled error: " + error.description());
    EXPECT_NE(sourceLine(line.line).find("Unhandled error"), std::string::npos) << sourceLine(line.line);
    EXPECT_EQ(alertsAtLogLine, (std::vector<size_t>{0}));
    expectOneAlert(error.localizedDescription());
}

TEST_F(ErrorReportingTest, CheckErrorHandlesAGivenErrorAndIgnoresNone) {
    plugin->checkError(nullptr);
    EXPECT_TRUE(log->lines.empty());
    EXPECT_TRUE(ui->alerts().empty());

    platform::Error error("VXZandrelDomain", 3, "Something failed.");
    ui->answerAlert("OK");
    plugin->checkError(&error);
    EXPECT_EQ(onlyLine().text, "Unhandled error: " + error.description());
    expectOneAlert("Something failed.");
}

struct MessageCase {
    const char* name;
    std::optional<std::string> subtitle;
    std::string message;
    std::string shown;
};

class PresentMessageTest : public ErrorReportingTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(PresentMessageTest, ShowsOneAlertWithTheJoinedTextLiterally) {
    const auto& c = GetParam();
    ui->answerAlert("OK");
    plugin->presentMessageWithTitleSubtitleMessage("A title", c.subtitle, c.message);
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "A title");
    EXPECT_EQ(ui->lastAlert().message, c.shown);
    EXPECT_EQ(ui->lastAlert().buttons, (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(log->lines.empty()) << "presenting a message logs nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PresentMessageTest,
    ::testing::Values(MessageCase{"SubtitleThenBlankLine", "The copy failed", "Try again later.",
                                  "The copy failed\n\nTry again later."},
                      MessageCase{"NoSubtitle", std::nullopt, "Try again later.", "Try again later."},
                      MessageCase{"EmptySubtitleIsStillJoined", "", "Try again.", "\n\nTry again."},
                      MessageCase{"FormatDirectivesStayLiteral", "%d of %@", "100%d %s %%",
                                  "%d of %@\n\n100%d %s %%"}),
    testsupport::CaseName());

TEST_F(ErrorReportingTest, PresentErrorUsesTheApplicationsPresentationAndLogsNothing) {
    platform::Error error("NSCocoaErrorDomain", 4, "The item could not be found.", "gone");
    ui->answerAlert("OK");
    EXPECT_FALSE(plugin->presentError(error));
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().message, error.localizedDescription());
    EXPECT_TRUE(log->lines.empty());
}

TEST_F(ErrorReportingTest, ClassOperationsReachTheSharedPlugin) {
    platform::Error error("VXZandrelDomain", 9, "Shown text.");
    for (int i = 0; i < 4; ++i) ui->answerAlert("OK");
    KOPAPlugin::classReportErrorWithLcalizableMessage("Key");
    KOPAPlugin::classHandleException(std::logic_error("broken"));
    KOPAPlugin::classHandleError(error);
    KOPAPlugin::classCheckError(&error);
    KOPAPlugin::classCheckError(nullptr);

    std::vector<std::string> messages;
    for (const auto& alert : ui->alerts()) messages.push_back(alert.message);
    EXPECT_EQ(messages, (std::vector<std::string>{"Key", "broken", "Shown text.", "Shown text."}));
    std::vector<std::string> texts;
    for (const auto& line : log->lines)
        if (auto parsed = parseFrameworkLine(line)) texts.push_back(parsed->text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Error: Key", "Unhandled exception: broken",
                                               "Unhandled error: " + error.description(),
                                               "Unhandled error: " + error.description()}));
    EXPECT_EQ(alertsAtLogLine, (std::vector<size_t>{0, 1, 2, 3}));
}

TEST_F(ErrorReportingTest, ClassOperationsDoNothingBeforeAPluginExists) {
    plugin.reset();
    KOPAPlugin::resetForTesting();
    ASSERT_EQ(KOPAPlugin::sharedPlugin(), nullptr);
    platform::Error error("VXZandrelDomain", 9, "Shown text.");
    KOPAPlugin::classReportErrorWithLcalizableMessage("Key");
    KOPAPlugin::classHandleException(std::logic_error("broken"));
    KOPAPlugin::classHandleError(error);
    KOPAPlugin::classCheckError(&error);
    EXPECT_EQ(KOPAPlugin::classObjectContext(), nullptr);
    EXPECT_TRUE(ui->alerts().empty());
    EXPECT_TRUE(log->lines.empty());
}

}  // namespace
