#include "tests/gui/GuiSession.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/Subprocess.h"

namespace testsupport {

namespace {

namespace fs = std::filesystem;

// How often another process is looked at while waiting for it.
constexpr std::chrono::milliseconds kPoll{20};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

GuiSession::GuiSession(const fs::path& db, const fs::path& dir, const std::vector<std::string>& extra)
    : m_geometry(dir / "geometry.txt"), m_out(dir / "host.out"), m_err(dir / "host.err") {
    fs::remove(m_geometry);
    // The pointer left by an earlier test must not rest where a menu or list opens.
    xdotool({"mousemove", "1270", "1015"});
    ::setenv("ZANDREL_GUI_GEOMETRY", m_geometry.c_str(), 1);
    std::vector<std::string> argv{builtProgram("zandrel-host"), "--db", db.string(), "--gui"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    m_pid = startProgram(argv, "/dev/null", m_out, m_err);
    ::unsetenv("ZANDREL_GUI_GEOMETRY");
}

GuiSession::~GuiSession() {
    if (m_status || m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
}

std::vector<GuiSession::Item> GuiSession::items() const {
    std::vector<Item> result;
    std::istringstream lines(readFile(m_geometry));
    std::string line;
    while (std::getline(lines, line)) {
        auto f = splitTabs(line);
        if (f.size() != 10) continue;
        Item item;
        item.kind = f[0];
        item.text = f[1];
        item.xid = std::stoul(f[2]);
        item.x = std::stoi(f[3]);
        item.y = std::stoi(f[4]);
        item.width = std::stoi(f[5]);
        item.height = std::stoi(f[6]);
        item.surface = f[7];
        item.window = f[8];
        item.state = f[9];
        for (const char* hover : {" hover", "hover"})
            if (item.state.size() >= std::strlen(hover) &&
                item.state.compare(item.state.size() - std::strlen(hover), std::string::npos, hover) == 0) {
                item.state.erase(item.state.size() - std::strlen(hover));
                item.hover = true;
                break;
            }
        result.push_back(std::move(item));
    }
    return result;
}

std::optional<GuiSession::Item> GuiSession::waitFor(const Match& match, const std::string& what) {
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    for (;;) {
        for (const auto& item : items())
            if (match(item)) return item;
        int status = 0;
        if (!m_status && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (m_status || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(kPoll);
    }
    ADD_FAILURE() << "waited in vain for " << what << (m_status ? " (the host has ended)" : "")
                  << "; the windows showed:\n"
                  << readFile(m_geometry) << "\nstandard error:\n"
                  << errorOutput();
    return std::nullopt;
}

std::optional<GuiSession::Item> GuiSession::waitForWindow(const std::string& title,
                                                          const std::string& state) {
    return waitFor(
        [&](const Item& i) {
            return i.kind == "window" && i.text == title && i.state.rfind(state, 0) == 0 && i.xid != 0;
        },
        "window \"" + title + "\" " + state);
}

std::optional<GuiSession::Item> GuiSession::waitForView(const std::string& window, const std::string& id,
                                                        const std::string& state) {
    return waitFor(
        [&](const Item& i) {
            return i.kind == "view" && i.window == window && i.text == id && i.state == state;
        },
        "view " + id + " of \"" + window + "\" showing \"" + state + "\"");
}

std::optional<GuiSession::Item> GuiSession::waitForLabel(const std::string& surface,
                                                         const std::string& window, const std::string& text) {
    return waitFor(
        [&](const Item& i) {
            return i.kind == "label" && i.surface == surface && i.window == window && i.text == text;
        },
        "label \"" + text + "\" in a " + surface + " of \"" + window + "\"");
}

bool GuiSession::waitForNone(const Match& match, const std::string& what) {
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    for (;;) {
        auto now = items();
        if (std::none_of(now.begin(), now.end(), match)) return true;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(kPoll);
    }
    ADD_FAILURE() << "still there after the deadline: " << what << "\n" << readFile(m_geometry);
    return false;
}

void GuiSession::click(const Item& item) {
    if (point(item)) xdotool({"click", "1"});
}

bool GuiSession::point(const Item& item) {
    auto same = [&](const Item& i) {
        return i.kind == item.kind && i.text == item.text && i.xid == item.xid && i.window == item.window;
    };
    // Where it is now (a window may still be settling its layout), until GTK sees the pointer
    // over it.
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        auto now = items();
        auto it = std::find_if(now.begin(), now.end(), same);
        if (it == now.end()) break;
        if (it->hover) return true;
        // A pop-up just shown may still be laid out and placed: the pointer goes there once
        // both where GTK draws the item and where the X window is have stopped changing.
        std::string placed = xdotool({"getwindowgeometry", std::to_string(it->xid)});
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        auto again = items();
        auto still = std::find_if(again.begin(), again.end(), same);
        if (it->width <= 0 || still == again.end() || still->x != it->x || still->y != it->y ||
            xdotool({"getwindowgeometry", std::to_string(it->xid)}) != placed)
            continue;
        xdotool({"mousemove", "--window", std::to_string(it->xid), std::to_string(it->x + it->width / 2),
                 std::to_string(it->y + it->height / 2)});
        auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < settle) {
            auto later = items();
            auto again = std::find_if(later.begin(), later.end(), same);
            if (again == later.end() || again->hover || again->x != it->x || again->y != it->y) break;
            std::this_thread::sleep_for(kPoll);
        }
    }
    ADD_FAILURE() << "could not point at \"" << item.text << "\"; the windows showed:\n"
                  << readFile(m_geometry);
    return false;
}

void GuiSession::keys(const std::vector<std::string>& names) {
    std::vector<std::string> arguments{"key", "--delay", "40"};
    arguments.insert(arguments.end(), names.begin(), names.end());
    xdotool(arguments);
}

void GuiSession::type(const std::string& text) {
    xdotool({"type", "--delay", "30", text});
}

bool GuiSession::pressUntil(const std::string& key, const Match& match, const std::string& what) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        keys({key});
        auto patience = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (std::chrono::steady_clock::now() < patience) {
            auto now = items();
            if (std::any_of(now.begin(), now.end(), match)) return true;
            std::this_thread::sleep_for(kPoll);
        }
    }
    return waitFor(match, what + " after " + key).has_value();
}

std::optional<int> GuiSession::waitForExit() {
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (!m_status) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the host did not end; standard error:\n" << errorOutput();
            return std::nullopt;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return m_status;
}

std::string GuiSession::errorOutput() const {
    return readFile(m_err);
}

std::string GuiSession::xdotool(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    auto r = runProgram(argv);
    EXPECT_EQ(r.exitCode, 0) << "xdotool failed: " << r.err;
    return r.out;
}

}  // namespace testsupport
