#include "tests/support/HostLauncher.h"

#include <utility>

namespace testsupport {

HostLauncher::HostLauncher(std::filesystem::path home, std::vector<std::string> leading, std::string program)
    : m_home(std::move(home)), m_leading(std::move(leading)), m_program(std::move(program)) {
    isolate();
}

HostLauncher::HostLauncher()
    : m_ownHome(std::make_shared<TempDir>()), m_home(m_ownHome->path()), m_program("zandrel-host") {
    isolate();
}

HostLauncher HostLauncher::tool() {
    HostLauncher launcher;
    launcher.m_program = "zandrel-tool";
    return launcher;
}

void HostLauncher::isolate() {
    m_environment = {{"HOME", m_home.string()},
                     {"XDG_CONFIG_HOME", (m_home / "config").string()},
                     {"XDG_DATA_HOME", (m_home / "data").string()},
                     {"XDG_CACHE_HOME", (m_home / "cache").string()}};
}

HostLauncher& HostLauncher::with(const std::string& name, std::optional<std::string> value) {
    m_environment[name] = std::move(value);
    return *this;
}

std::vector<std::string> HostLauncher::command(const std::vector<std::string>& args) const {
    // env takes its -u options before the first assignment.
    std::vector<std::string> argv{"/usr/bin/env"};
    for (const auto& [name, value] : m_environment)
        if (!value) argv.insert(argv.end(), {"-u", name});
    for (const auto& [name, value] : m_environment)
        if (value) argv.push_back(name + "=" + *value);
    argv.push_back(builtProgram(m_program));
    argv.insert(argv.end(), m_leading.begin(), m_leading.end());
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

ProcessResult HostLauncher::run(const std::vector<std::string>& args, const std::string& input) const {
    return runProgram(command(args), input);
}

pid_t HostLauncher::start(const std::vector<std::string>& args, const std::filesystem::path& in,
                          const std::filesystem::path& out, const std::filesystem::path& err) const {
    return startProgram(command(args), in, out, err);
}

PseudoTerminal::Options HostLauncher::terminal(const std::vector<std::string>& args) const {
    PseudoTerminal::Options options;
    options.argv = command(args);
    return options;
}

}  // namespace testsupport
