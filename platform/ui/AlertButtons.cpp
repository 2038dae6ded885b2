#include "platform/ui/AlertButtons.h"

#include "platform/ui/TitleMatching.h"

namespace platform {

std::vector<AlertButton> alertButtons(const AlertRequest& alert) {
    std::vector<AlertButton> buttons;
    // An alert always has a default button; the toolkit titles it "OK" when none is given.
    buttons.push_back({alert.defaultButton.empty() ? "OK" : alert.defaultButton, kAlertDefaultReturn});
    if (!alert.alternateButton.empty()) buttons.push_back({alert.alternateButton, kAlertAlternateReturn});
    if (!alert.otherButton.empty()) buttons.push_back({alert.otherButton, kAlertOtherReturn});
    return buttons;
}

AlertButton decliningButton(const AlertRequest& alert) {
    auto buttons = alertButtons(alert);
    for (const auto& button : buttons)
        if (equalsIgnoringCase(button.title, "Cancel")) return button;
    for (const auto& button : buttons)
        if (button.returnValue == kAlertAlternateReturn) return button;
    return buttons.front();
}

std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title) {
    auto buttons = alertButtons(alert);
    std::vector<std::string> titles;
    for (const auto& b : buttons) titles.push_back(b.title);
    auto match = matchTitle(titles, title, "button");
    if (!match.index) return std::nullopt;
    return buttons[*match.index].returnValue;
}

}  // namespace platform
