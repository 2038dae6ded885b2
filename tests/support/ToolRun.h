#pragma once

// Runs the built zandrel-tool as a person would, for the tool's command-line tests.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/HostLauncher.h"

namespace testsupport {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// zandrel-tool with the arguments, fed `input` on standard input.
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& input = "") {
    ProcessResult result = HostLauncher::tool().run(args, input);
    return ToolRun{result.exitCode, std::move(result.out), std::move(result.err)};
}

}  // namespace testsupport
