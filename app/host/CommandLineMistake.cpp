#include "app/host/CommandLineMistake.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "platform/foundation/AsciiText.h"
#include "platform/foundation/DisplayText.h"

namespace {

// Words echoed back are cut: a huge argument must not become a huge message.
constexpr size_t kEchoedChars = 60;
// Longer words are not compared at all: no command or option is near them.
constexpr size_t kLongestComparedWord = 64;

std::string echoed(std::string_view word) {
    return platform::DisplayText::printable(word, kEchoedChars);
}

size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The most edits a slip of the keyboard makes in a word of this length.
size_t slipLimit(size_t length) {
    return length <= 4 ? 1 : length <= 8 ? 2 : 3;
}

std::string program(const CLI::App& app, const CLI::App* sub) {
    return sub ? app.get_name() + " " + sub->get_name() : app.get_name();
}

std::string subcommandList(const CLI::App& app) {
    std::string list;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        list += (list.empty() ? "" : ", ") + sub->get_name();
    return list;
}

std::string suggestion(std::string_view word, const std::vector<std::string>& candidates) {
    auto near = CommandLineMistake::nearest(word, candidates);
    return near ? fmt::format(" (did you mean `{}`?)", *near) : std::string();
}

std::vector<std::string> optionNames(const CLI::App& app) {
    std::vector<std::string> names{"--help"};
    for (const CLI::Option* option : app.get_options()) {
        for (const auto& name : option->get_lnames()) names.push_back("--" + name);
        for (const auto& name : option->get_snames()) names.push_back("-" + name);
    }
    return names;
}

const CLI::App* parsedSubcommand(const CLI::App& app) {
    auto parsed = app.get_subcommands();
    return parsed.empty() ? nullptr : parsed.front();
}

std::string unknownOption(const CLI::App& app, const CLI::App* sub, const std::string& word) {
    const std::string name = word.substr(0, word.find('='));
    std::vector<std::string> candidates = optionNames(sub ? *sub : app);
    if (sub) {
        auto more = optionNames(app);
        candidates.insert(candidates.end(), more.begin(), more.end());
    }
    // An option of a subcommand given before it, or without it.
    if (!sub) {
        for (const CLI::App* other : app.get_subcommands([](const CLI::App*) { return true; })) {
            if (name.size() > 1 && other->get_option_no_throw(name))
                return fmt::format("option {} belongs to {}: put it after it, {} {}", name, other->get_name(),
                                   program(app, other), name);
        }
    }
    return fmt::format("unknown option {}{}; see {} --help", echoed(name), suggestion(name, candidates),
                       program(app, sub));
}

std::string unknownSubcommand(const CLI::App& app, const std::string& word, std::string_view noun) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(sub->get_name());
    auto near = CommandLineMistake::nearest(word, names);
    return fmt::format("unknown {} '{}'{} ({}s: {}); see {} --help", noun, echoed(word),
                       near ? fmt::format("; did you mean `{}`?", *near) : std::string(), noun,
                       subcommandList(app), app.get_name());
}

// "--db: 1 required TEXT missing": the option given last without its value.
std::optional<std::string> optionWithoutValue(const CLI::App& app, const CLI::App* sub,
                                              std::string_view what) {
    const size_t colon = what.find(": ");
    if (colon == std::string_view::npos || what.find("missing", colon) == std::string_view::npos)
        return std::nullopt;
    const std::string name(what.substr(0, colon));
    for (const CLI::App* scope : {sub, &app})
        if (scope && scope->get_option_no_throw(name)) return name;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CommandLineMistake::nearest(std::string_view word,
                                                       const std::vector<std::string>& candidates) {
    if (word.size() > kLongestComparedWord) return std::nullopt;
    const std::string typed = platform::AsciiText::lower(word);
    // Two letters or fewer ("-x") are near almost anything: no guess.
    const size_t dashes = std::min(typed.find_first_not_of('-'), typed.size());
    const size_t letters = typed.size() - dashes;
    if (letters < 3) return std::nullopt;
    std::optional<std::string> best;
    size_t bestDistance = slipLimit(letters) + 1;
    bool tied = false;
    for (const auto& candidate : candidates) {
        const size_t distance = editDistance(typed, platform::AsciiText::lower(candidate));
        if (distance < bestDistance) {
            best = candidate, bestDistance = distance, tied = false;
        } else if (distance == bestDistance && best != candidate) {
            tied = true;
        }
    }
    if (best && !tied) return best;
    // A word cut short ("templ", "--templ") names the one candidate it begins.
    std::optional<std::string> prefixed;
    for (const auto& candidate : candidates) {
        if (!platform::AsciiText::lower(candidate).starts_with(typed)) continue;
        if (prefixed && *prefixed != candidate) return std::nullopt;
        prefixed = candidate;
    }
    return prefixed;
}

namespace {

std::string mistake(const CLI::App& app, const CLI::App* sub, const CLI::ParseError& error,
                    std::string_view noun) {
    // Words the parser could not place come first: a mistyped option often also leaves a
    // required one missing, and the typo is the news.
    const std::vector<std::string> extras = app.remaining(true);
    if (!extras.empty()) {
        const std::string& word = extras.front();
        if (word.size() > 1 && word[0] == '-') return unknownOption(app, sub, word);
        if (!sub) return unknownSubcommand(app, word, noun);
        return fmt::format("unexpected argument '{}'; see {} --help", echoed(word), program(app, sub));
    }
    const std::string what = error.what();
    if (auto option = optionWithoutValue(app, sub, what))
        return fmt::format("option {} needs a value; see {} --help", *option, program(app, sub));
    if (dynamic_cast<const CLI::RequiredError*>(&error)) {
        if (!sub && app.get_require_subcommand_min() > 0 && app.get_subcommands().empty())
            return fmt::format("a {} is missing ({}s: {}); see {} --help", noun, noun, subcommandList(app),
                               app.get_name());
        return fmt::format("{}; see {} --help", echoed(what), program(app, sub));
    }
    return fmt::format("{}; see {} --help", platform::DisplayText::printable(what, 200), program(app, sub));
}

}  // namespace

std::string CommandLineMistake::describe(const CLI::App& app, const CLI::ParseError& error,
                                         std::string_view noun) {
    const CLI::App* sub = parsedSubcommand(app);
    return program(app, sub) + ": " + mistake(app, sub, error, noun);
}
