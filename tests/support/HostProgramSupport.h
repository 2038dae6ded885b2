#pragma once

// What the tests of the zandrel-host program share.

namespace testsupport {

// The heading the terminal draws for the demo database's main window, signed in as ada.
inline constexpr const char* kMainWindow = "=== \"demo.sqlite - ada\" ===";

}  // namespace testsupport
