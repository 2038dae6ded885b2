#include "tests/support/Subprocess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace testsupport {

namespace {
std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

pid_t startProgram(const std::vector<std::string>& argv, const std::filesystem::path& inPath,
                   const std::filesystem::path& outPath, const std::filesystem::path& errPath) {
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

ProcessResult runProgram(const std::vector<std::string>& argv, const std::string& input) {
    // Files rather than pipes: no risk of a full pipe blocking either side.
    TempDir dir;
    dir.write("stdin", input);
    auto inPath = dir / "stdin", outPath = dir / "stdout", errPath = dir / "stderr";
    pid_t pid = startProgram(argv, inPath, outPath, errPath);
    int status = 0;
    waitpid(pid, &status, 0);
    ProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

std::string builtProgram(const std::string& name) {
    return std::string(ZANDREL_BINARY_DIR) + "/bin/" + name;
}

}  // namespace testsupport
