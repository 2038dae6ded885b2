#pragma once

// Subprocess: runs a built program the way a person would from a shell, with standard input
// given as text, and returns its exit status and what it printed.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Starts argv[0] with standard input, output and error on the given files and returns its
// process id without waiting (the caller waits or kills it).
pid_t startProgram(const std::vector<std::string>& argv, const std::filesystem::path& inPath,
                   const std::filesystem::path& outPath, const std::filesystem::path& errPath);

ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input = "");

// The path of a program built into the build tree's bin/ folder.
std::string builtProgram(const std::string& name);

}  // namespace testsupport
