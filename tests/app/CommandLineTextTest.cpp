// The command-line programs' text pieces as functions: cutting for the terminal, the nearest
// word for a mistake, the template table and the ftp-put progress bar (escaping is
// platform::DisplayText's, tested with it).

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/host/CommandLineMistake.h"
#include "app/host/TemplateTable.h"
#include "app/host/TerminalText.h"
#include "app/tool/ProgressBar.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool hasRawControl(const std::string& text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

TEST(TerminalText, TruncatedCutsWholeCharactersAndMarksTheCut) {
    struct Case {
        std::string text;
        size_t width;
        std::string expected;
    };
    const Case cases[] = {
        {"Project Intake", 20, "Project Intake"},
        {"Project Intake", 14, "Project Intake"},
        {"Project Intake", 8, "Project…"},
        {"Project Intake", 1, "…"},
        {"Project Intake", 0, ""},
        {"\xC3\xBC\xC3\xBC\xC3\xBC", 2, "\xC3\xBC…"},
    };
    for (const auto& c : cases) {
        const std::string cut = TerminalText::truncated(c.text, c.width);
        EXPECT_EQ(cut, c.expected) << c.text << " in " << c.width;
        EXPECT_LE(TerminalText::displayWidth(cut), c.width);
    }
}

TEST(CommandLineMistake, NearestSuggestsOnlyCloseAndUnambiguousWords) {
    const std::vector<std::string> subcommands{"duplicate", "templates", "users"};
    const std::vector<std::string> options{"--help", "--template", "--name", "--json", "--user", "--db"};
    struct Case {
        std::string word;
        const std::vector<std::string>* candidates;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"templtes", &subcommands, "templates"},
        {"TEMPLATES", &subcommands, "templates"},
        {"tempaltes", &subcommands, "templates"},
        {"templ", &subcommands, "templates"},
        {"dup", &subcommands, "duplicate"},
        {"uesrs", &subcommands, "users"},
        {"bogus", &subcommands, std::nullopt},
        {"x", &subcommands, std::nullopt},
        {"", &subcommands, std::nullopt},
        {"--tempalte", &options, "--template"},
        {"--jsn", &options, "--json"},
        {"--nam", &options, "--name"},
        {"-x", &options, std::nullopt},
        {"--bogus", &options, std::nullopt},
        {"--use", &options, "--user"},
        {std::string(10000, 't'), &subcommands, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandLineMistake::nearest(c.word, *c.candidates), c.expected) << c.word.substr(0, 20);
    // Two candidates equally near: no guess.
    EXPECT_EQ(CommandLineMistake::nearest("cat", {"bat", "hat"}), std::nullopt);
    EXPECT_EQ(CommandLineMistake::nearest("templ", {"template", "templates"}), std::nullopt);
}

std::vector<TemplateTable::Template> sampleTemplates() {
    return {
        {"Customer Profile", true, {{"Industry", 3, true}, {"Notes", 5, true}}},
        {"A template whose name is much longer than any terminal is wide, and then some more",
         true,
         {{"A field definition with a name that goes on and on", 0, true}}},
        {"Legacy Survey 2019", false, {{"Comments", 5, false}, {"Odd", 42, true}}},
        {"Quick Notes", true, {}},
    };
}

TEST(TemplateTable, ListsEachTemplateThenItsFieldsIndented) {
    const std::string table = TemplateTable::render(sampleTemplates(), 0);
    const auto lines = linesOf(table);
    ASSERT_EQ(lines.size(), 10u) << table;
    const size_t column = lines[0].find("ACTIVE");
    ASSERT_NE(column, std::string::npos);
    EXPECT_TRUE(lines[0].starts_with("NAME"));
    EXPECT_EQ(lines[1].substr(0, 16), "Customer Profile");
    EXPECT_EQ(lines[1].substr(column), "yes     2");
    EXPECT_EQ(lines[2].substr(0, 12), "    Industry");
    EXPECT_EQ(lines[2].substr(column), "pop-up");
    EXPECT_EQ(lines[3].substr(column), "multi-line text");
    EXPECT_EQ(lines[4].substr(column), "yes     1");
    EXPECT_EQ(lines[6].substr(column), "no      2");
    EXPECT_EQ(lines[7].substr(column), "multi-line text (inactive)");
    EXPECT_EQ(lines[8].substr(column), "type 42");
    EXPECT_EQ(lines[9].substr(column), "yes     0");
    // Without a width nothing is cut.
    EXPECT_NE(table.find(sampleTemplates()[1].name), std::string::npos);
    EXPECT_EQ(table.find("…"), std::string::npos);
}

TEST(TemplateTable, EveryLineFitsTheWidthAndCutNamesEndInAnEllipsis) {
    for (size_t width = 10; width <= 200; ++width) {
        const std::string table = TemplateTable::render(sampleTemplates(), width);
        const auto lines = linesOf(table);
        ASSERT_EQ(lines.size(), 10u) << width;
        for (const auto& line : lines) {
            EXPECT_LE(TerminalText::displayWidth(line), width) << width << ": " << line;
            EXPECT_NE(line.back(), ' ') << width;
        }
        // The status of every template stays readable as long as the columns fit at all.
        if (width >= 40) {
            EXPECT_TRUE(lines[6].ends_with("no      2")) << width << "\n" << table;
            EXPECT_TRUE(lines[4].ends_with("yes     1")) << width << "\n" << table;
        }
        const bool whole = lines[4].find(sampleTemplates()[1].name) != std::string::npos;
        EXPECT_NE(whole, lines[4].find("…") != std::string::npos) << width << ": " << lines[4];
    }
}

TEST(TemplateTable, NamesFromTheDatabaseCannotBreakTheTable) {
    const std::vector<TemplateTable::Template> hostile{
        {"two\nlines", true, {{"\x1b[2Jclear", 0, true}}},
        {std::string(100000, 'x'), true, {}},
    };
    const std::string table = TemplateTable::render(hostile, 0);
    EXPECT_EQ(linesOf(table).size(), 4u) << table.substr(0, 300);
    for (const auto& line : linesOf(table)) EXPECT_FALSE(hasRawControl(line));
    EXPECT_NE(table.find("two\\nlines"), std::string::npos);
    EXPECT_NE(table.find("\\x1b[2Jclear"), std::string::npos);
    EXPECT_NE(table.find(std::string(100000, 'x')), std::string::npos);
    for (const auto& line : linesOf(TemplateTable::render(hostile, 60)))
        EXPECT_LE(TerminalText::displayWidth(line), 60u);
}

TEST(ProgressBar, LineFitsEveryWidthWithTheRichestLayoutThatFits) {
    struct Case {
        uint64_t done;
        std::optional<uint64_t> total;
        std::optional<double> rate;
    };
    const Case cases[] = {
        {0, 0, std::nullopt},
        {0, 100, std::nullopt},
        {50, 100, 12.0},
        {100, 100, 1e6},
        {123456789, 987654321, 4.5e6},
        {5000, std::nullopt, 1024.0},
        {5000, std::nullopt, std::nullopt},
        {200, 100, 3.0},
        {uint64_t(1) << 62, uint64_t(1) << 62, 1e12},
    };
    for (const auto& c : cases) {
        size_t previous = 0;
        for (size_t width = 1; width <= 200; ++width) {
            const std::string line = ProgressBar::line(c.done, c.total, c.rate, width);
            EXPECT_LE(line.size(), width > 1 ? width - 1 : 1) << width << ": " << line;
            EXPECT_GE(line.size(), previous) << "a wider terminal never shows less: " << width;
            previous = line.size();
            EXPECT_FALSE(hasRawControl(line));
            if (c.total && width >= 20) {
                EXPECT_EQ(line.front(), '[') << width << ": " << line;
                const size_t close = line.find(']');
                ASSERT_NE(close, std::string::npos);
                const auto filled = std::count(line.begin(), line.begin() + close, '#');
                const double fraction =
                    *c.total == 0 ? 1.0 : std::min(1.0, double(c.done) / double(*c.total));
                EXPECT_NEAR(double(filled), fraction * double(close - 1), 1.0) << line;
            }
            if (!c.total) {
                EXPECT_EQ(line.find('%'), std::string::npos) << line;
            }
        }
    }
}

TEST(ProgressBar, LineTextsAtCommonWidths) {
    EXPECT_TRUE(ProgressBar::line(0, 0, std::nullopt, 80).ends_with("] 100%  0 B of 0 B"));
    const std::string half = ProgressBar::line(512 * 1024, 1024 * 1024, 256 * 1024.0, 80);
    EXPECT_EQ(half.size(), 79u);
    EXPECT_TRUE(half.ends_with("]  50%  512.0 KiB of 1.0 MiB  256.0 KiB/s")) << half;
    // Narrower, the rate goes first, then the total.
    EXPECT_TRUE(ProgressBar::line(512 * 1024, 1024 * 1024, 256 * 1024.0, 40)
                    .ends_with("]  50%  512.0 KiB of 1.0 MiB"));
    EXPECT_TRUE(ProgressBar::line(512 * 1024, 1024 * 1024, 256 * 1024.0, 30).ends_with("]  50%  512.0 KiB"));
    EXPECT_EQ(ProgressBar::line(512 * 1024, 1024 * 1024, 256 * 1024.0, 10), " 50%");
    EXPECT_TRUE(ProgressBar::line(99, 100, std::nullopt, 30).ends_with("]  99%  99 B")) << "never 100% early";
    EXPECT_EQ(ProgressBar::line(5000, std::nullopt, 1024.0, 80), "4.9 KiB sent  1.0 KiB/s");
    EXPECT_EQ(ProgressBar::line(5000, std::nullopt, 1024.0, 15), "4.9 KiB sent");
    EXPECT_EQ(ProgressBar::humanBytes(1023), "1023 B");
    EXPECT_EQ(ProgressBar::humanBytes(3.5 * 1024 * 1024 * 1024), "3.5 GiB");
}

TEST(ProgressBar, RateFollowsTheLastSecondsNotTheWholeUpload) {
    ProgressBar bar;
    EXPECT_EQ(bar.bytesPerSecond(), std::nullopt);
    bar.addSample(0, 0);
    EXPECT_EQ(bar.bytesPerSecond(), std::nullopt);
    // Twenty seconds at 1000 B/s, then ten at 100 B/s, sampled four times a second (times that
    // binary fractions hold exactly).
    uint64_t bytes = 0;
    double t = 0;
    for (int i = 0; i < 80; ++i) bar.addSample(t += 0.25, bytes += 250);
    EXPECT_NEAR(*bar.bytesPerSecond(), 1000.0, 1e-6);
    for (int i = 0; i < 40; ++i) bar.addSample(t += 0.25, bytes += 25);
    EXPECT_NEAR(*bar.bytesPerSecond(), 100.0, 1e-6) << "since the start it would be " << double(bytes) / t;
    // A stall shows as a falling rate, then as none sent.
    for (int i = 0; i < 8; ++i) bar.addSample(t += 0.25, bytes);
    EXPECT_NEAR(*bar.bytesPerSecond(), 60.0, 1e-6);
    for (int i = 0; i < 24; ++i) bar.addSample(t += 0.25, bytes);
    EXPECT_EQ(*bar.bytesPerSecond(), 0.0);
}

TEST(ProgressBar, SamplesFasterThanTheRingHoldsShortenTheWindowButStayRight) {
    ProgressBar bar;
    uint64_t bytes = 0;
    double t = 0;
    for (int i = 0; i < 10000; ++i) bar.addSample(t += 0.001, bytes += 5);
    EXPECT_NEAR(*bar.bytesPerSecond(), 5000.0, 1e-3);
}

}  // namespace
