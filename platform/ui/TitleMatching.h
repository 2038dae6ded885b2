#pragma once

// How titles (menu items, buttons, alert buttons, pop-up items, commands) are matched, one way
// everywhere: exact first, then ignoring letter case, then a unique prefix ignoring case. When
// the first of these levels that finds anything finds more than one, the request is refused as
// ambiguous rather than guessed: two templates may differ only in letter case. "..." typed by a
// person matches the ellipsis character "\u2026" in a title. Letter case is ignored for Latin,
// Greek and Cyrillic letters; other scripts match as written.

#include <optional>
#include <string>
#include <vector>

namespace platform {

// Compares ASCII letters without regard to case; other bytes must be equal.
bool equalsIgnoringCase(const std::string& a, const std::string& b);

struct TitleMatch {
    std::optional<size_t> index;  // the title chosen, by position in the list
    std::string error;            // ready to show when there is no index, e.g.
                                  // `no item "Invoce" (did you mean "Invoice"?)` or
                                  // `"in" is ambiguous: "Invoice", "Inquiry"`
};
// Picks the title `wanted` names among `titles`; `what` names the kind of thing in the error
// ("item", "button", "command", ...).
TitleMatch matchTitle(const std::vector<std::string>& titles, const std::string& wanted,
                      const std::string& what);
// The title closest to `wanted` by edit distance (ignoring case), or "" when none is close enough
// to be a likely typing mistake.
std::string nearestTitle(const std::vector<std::string>& titles, const std::string& wanted);
// `text` safe to show: control characters and bytes that are not UTF-8 are written escaped

}  // namespace platform
