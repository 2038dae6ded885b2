#pragma once

// An alert's buttons with the values they return, and the answer of someone who did not answer.

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/FrontEnd.h"

namespace platform {

struct AlertButton {
    std::string title;
    int returnValue;
};
// The alert's buttons in the order they are shown: default, alternate, other (empty ones left out).
std::vector<AlertButton> alertButtons(const AlertRequest& alert);
// The answer of someone who did not accept: the button titled Cancel, else the alternate one;
// an alert with one button can only be acknowledged. Ctrl-C, a signal and the end of input all
// answer so, since an offer nobody answered is declined.
AlertButton decliningButton(const AlertRequest& alert);
// The return value of the button whose title matches `title` (see matchTitle); none when absent
// or ambiguous.
std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title);

}  // namespace platform
