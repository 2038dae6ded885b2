#pragma once

// Runs the built zandrel-tool as a person would, for the tool's command-line tests.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/Subprocess.h"

namespace testsupport {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

// zandrel-tool with the arguments, fed `input` on standard input.
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv{builtProgram("zandrel-tool")};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = runProgram(argv, input);
    return ToolRun{result.exitCode, std::move(result.out), std::move(result.err)};
}

}  // namespace testsupport
