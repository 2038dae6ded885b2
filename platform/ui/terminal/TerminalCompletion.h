#pragma once

// Tab completion of a command line at the terminal: what fits the word being typed -- command
// names, the key window's views by identifier, pop-up items, button and menu titles (the
// contextual menu of the selected row after "menu context >"), and the buttons of the alert
// waiting.

#include <string>

#include "platform/ui/LineEditor.h"

namespace platform {

struct AlertRequest;

// What Tab offers for `beforeCursor`; `waitingAlert` is the alert waiting for its answer, if any.
LineEditor::Completion completeCommandLine(const std::string& beforeCursor, const AlertRequest* waitingAlert);

}  // namespace platform
