#pragma once

// What the tests of the zandrel-host program share.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/HostLauncher.h"

namespace testsupport {

// The heading the terminal draws for the demo database's main window, signed in as ada.
inline constexpr const char* kMainWindow = "=== \"demo.sqlite - ada\" ===";

// What a listing command prints as JSON (templates --json, connector-maps --json); an empty
// array, and a failure, when the command fails.
inline nlohmann::json jsonListing(const HostLauncher& host, const std::vector<std::string>& command) {
    ProcessResult r = host.run(command);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::array();
}

// The template of that name in a `templates --json` listing, or none.
inline const nlohmann::json* namedTemplate(const nlohmann::json& templates, const std::string& name) {
    for (const auto& t : templates)
        if (t["name"] == name) return &t;
    return nullptr;
}

}  // namespace testsupport
