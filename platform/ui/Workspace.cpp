#include "platform/ui/Workspace.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/foundation/DisplayText.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "platform/ui/FrontEnd.h"

extern char** environ;

namespace platform {

namespace {

constexpr auto kReapInterval = std::chrono::milliseconds(250);

bool isSchemeCharacter(char c, bool first) {
    bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first) return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The characters a URL holds as they stand: unreserved, reserved and the percent sign.
bool isURLCharacter(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("-._~:/?#[]@!$&'()*+,;=%").find(c) != std::string_view::npos;
}

bool desktopSessionPresent() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The executable `name` in a folder of PATH. Empty and relative entries are skipped: they name
// whatever folder the process happens to be in.
std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return std::nullopt;
    std::string_view rest(path);
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (dir.empty() || dir.front() != '/') continue;
        std::string candidate = std::string(dir) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

}  // namespace

Workspace& Workspace::shared() {
    static Workspace workspace;
    return workspace;
}

std::optional<std::string> Workspace::refusalReason(const std::string& url) {
    if (url.empty()) return std::string("the address is empty");
    if (url.size() > kLongestURL)
        return "the address is longer than the " + std::to_string(kLongestURL) + " characters allowed";
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return std::string("the address has no scheme");
    for (size_t i = 0; i < colon; ++i)
        if (!isSchemeCharacter(url[i], i == 0)) return std::string("the address has no valid scheme");
    if (colon + 1 == url.size()) return std::string("the address has nothing after its scheme");
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return std::string("the address holds a control character");
        if (c == ' ') return std::string("the address holds a space");
        if (!isURLCharacter(c))
            return std::string("the address holds a character a URL cannot hold unescaped");
        if (c == '%' && (i + 2 >= url.size() || !isHexDigit(url[i + 1]) || !isHexDigit(url[i + 2])))
            return std::string("the address holds a '%' that is not followed by two hex digits");
    }
    return std::nullopt;
}

Workspace::Opener Workspace::setOpenerForTesting(Opener opener) {
    std::swap(opener, m_opener);
    return opener;
}

bool Workspace::openURL(const std::string& url) {
    if (auto why = refusalReason(url)) {
        // Refused addresses may hold anything, of any length.
        Log::format("Cannot open the address \"{}\": {}.", DisplayText::printable(url, 200), *why);
        return false;
    }
    if (m_opener) return m_opener(url);
    if (auto opened = openOnDesktop(url)) return *opened;
    if (FrontEnd* frontEnd = Application::shared().frontEnd()) {
        if (frontEnd->openURL(url)) return true;
        Log::format("Could not open the address \"{}\": the front end cannot show it.", url);
        return false;
    }
    std::printf("Open this address in a web browser: %s\n", url.c_str());
    std::fflush(stdout);
    return true;
}

std::optional<bool> Workspace::openOnDesktop(const std::string& url) {
    if (!desktopSessionPresent()) return std::nullopt;
    auto program = findOnPath("xdg-open");
    if (!program) return std::nullopt;

    // The terminal front end reads standard input; the opener must not take any of it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string arg0 = "xdg-open";
    std::string arg1 = url;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program->c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        Log::format("Could not start {} to open \"{}\": {}. Showing the address instead.", *program, url,
                    std::strerror(rc));
        return std::nullopt;
    }
    watchChild(pid, url);
    return true;
}

void Workspace::watchChild(pid_t pid, const std::string& url) {
    m_children.push_back({pid, url});
    auto& loop = RunLoop::main();
    if (!m_reaper || !loop.isTimerValid(m_reaper))
        m_reaper = loop.scheduleTimer(
            kReapInterval, true, [this] { reapChildren(); }, kCommonModes);
}

void Workspace::reapChildren() {
    std::erase_if(m_children, [](const Child& child) {
        int status = 0;
        pid_t rc = ::waitpid(child.pid, &status, WNOHANG);
        if (rc == 0) return false;
        if (rc < 0) return true;  // reaped elsewhere: nothing left to wait for
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            Log::format(
                "xdg-open could not open \"{}\" (exit status {}); check the desktop's default browser.",
                child.url, WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            Log::format("xdg-open was ended by signal {} while opening \"{}\".", WTERMSIG(status), child.url);
        return true;
    });
    if (m_children.empty()) {
        RunLoop::main().invalidateTimer(m_reaper);
        m_reaper = 0;
    }
}

}  // namespace platform
