#include "platform/ui/TitleMatching.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/ui/FrontEndSupport.h"

namespace platform {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

namespace {

// Lower case for the scripts whose case pairs sit at a fixed distance (Latin, Greek, Cyrillic);
// others are left alone and still match exactly or by prefix.
char32_t foldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0xc0) return c;
    if (c <= 0xde && c != 0xd7) return c + 0x20;
    if (c >= 0x100 && c <= 0x17f) {
        // Latin Extended-A pairs upper/lower on even/odd code points, shifted by one in two runs.
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e);
        if (c == 0x178) return 0xff;  // capital Y with diaeresis pairs with the small one in Latin-1
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17f) return c;
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3ab && c != 0x3a2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42f) return c + 0x20;
    if (c >= 0x400 && c <= 0x40f) return c + 0x50;
    return c;
}

// What matching compares: code points with "..." read as the ellipsis, case folded or not.
// Bytes that are not UTF-8 stand for themselves, above the code point range, so they only ever
// match the same bytes.
std::u32string matchKey(std::string_view text, bool fold) {
    std::u32string key;
    key.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.substr(pos, 3) == "...") {
            key.push_back(U'\u2026');
            pos += 3;
            continue;
        }
        size_t start = pos;
        auto c = nextCodePoint(text, pos);
        char32_t value = c ? *c : 0x110000 + static_cast<unsigned char>(text[start]);
        key.push_back(fold ? foldCase(value) : value);
    }
    return key;
}

std::string quoted(std::string_view text) {
    return fmt::format("\"{}\"", DisplayText::printable(text));
}

// Restricted Damerau-Levenshtein distance (a swap of neighbours counts as one edit), giving up
// once every cell of a row exceeds `limit`: the answer is then "more than limit".
size_t editDistance(const std::u32string& a, const std::u32string& b, size_t limit) {
    size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    std::vector<size_t> before(m + 1), previous(m + 1), current(m + 1);
    for (size_t j = 0; j <= m; ++j) previous[j] = j;
    for (size_t i = 1; i <= n; ++i) {
        current[0] = i;
        size_t rowMin = current[0];
        for (size_t j = 1; j <= m; ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
            rowMin = std::min(rowMin, current[j]);
        }
        if (rowMin > limit) return limit + 1;
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

// Longer words tolerate more typing mistakes; very long input is not a typing mistake of a title.
constexpr size_t kLongestSuggestible = 64;
constexpr size_t kListedWhenAmbiguous = 10;
size_t suggestionLimit(size_t length) {
    return std::max<size_t>(1, length / 3);
}

}  // namespace

std::string nearestTitle(const std::vector<std::string>& titles, const std::string& wanted) {
    auto key = matchKey(wanted, true);
    if (key.empty() || key.size() > kLongestSuggestible) return {};
    size_t limit = suggestionLimit(key.size());
    const std::string* best = nullptr;
    size_t bestDistance = limit + 1;
    for (const auto& title : titles) {
        // Four bytes at most per character: a longer title cannot be within reach.
        if (title.size() > 4 * (key.size() + limit)) continue;
        auto titleKey = matchKey(title, true);
        size_t d = editDistance(key, titleKey, limit);
        // A title shorter than the edits it takes is no likeness ("ab" for "xy").
        if (d < bestDistance && d < titleKey.size()) {
            best = &title;
            bestDistance = d;
        }
    }
    return best ? *best : std::string();
}

TitleMatch matchTitle(const std::vector<std::string>& titles, const std::string& wanted,
                      const std::string& what) {
    std::vector<std::u32string> exact, folded;
    exact.reserve(titles.size());
    folded.reserve(titles.size());
    for (const auto& t : titles) {
        exact.push_back(matchKey(t, false));
        folded.push_back(matchKey(t, true));
    }
    auto wantedExact = matchKey(wanted, false);
    auto wantedFolded = matchKey(wanted, true);
    using Test = std::function<bool(size_t)>;
    const Test levels[] = {
        [&](size_t i) { return titles[i] == wanted; },
        [&](size_t i) { return exact[i] == wantedExact; },
        [&](size_t i) { return folded[i] == wantedFolded; },
        [&](size_t i) {
            return !wantedFolded.empty() && folded[i].compare(0, wantedFolded.size(), wantedFolded) == 0;
        },
    };
    for (const auto& matches : levels) {
        std::vector<size_t> found;
        for (size_t i = 0; i < titles.size(); ++i)
            if (matches(i)) found.push_back(i);
        if (found.size() == 1) return {found.front(), {}};
        if (found.empty()) continue;
        // Each title once, with how often it repeats: the list's order, not a guess, is shown.
        std::vector<std::pair<std::string, size_t>> distinct;
        for (size_t i : found) {
            auto same = std::find_if(distinct.begin(), distinct.end(),
                                     [&](const auto& d) { return d.first == titles[i]; });
            if (same != distinct.end())
                ++same->second;
            else if (distinct.size() <= kListedWhenAmbiguous)
                distinct.emplace_back(titles[i], 1);
        }
        if (distinct.size() == 1)
            return {std::nullopt, fmt::format("{} is ambiguous: {} {}s have that title", quoted(wanted),
                                              found.size(), what)};
        std::string list;
        size_t listed = 0;
        for (size_t k = 0; k < distinct.size() && k < kListedWhenAmbiguous; ++k) {
            list += (k ? ", " : "") + quoted(distinct[k].first);
            if (distinct[k].second > 1) list += fmt::format(" ({} of them)", distinct[k].second);
            listed += distinct[k].second;
        }
        if (found.size() > listed) list += fmt::format(" and {} more", found.size() - listed);
        return {std::nullopt, fmt::format("{} is ambiguous: {}", quoted(wanted), list)};
    }
    std::string error = fmt::format("no {} {}", what, quoted(wanted));
    if (auto near = nearestTitle(titles, wanted); !near.empty())
        error += fmt::format(" (did you mean {}?)", quoted(near));
    return {std::nullopt, error};
}

}  // namespace platform
