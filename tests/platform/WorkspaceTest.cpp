#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/foundation/Log.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/Workspace.h"
#include "tests/support/FtpServer.h"
#include "tests/support/TempDir.h"

using namespace platform;
using namespace std::chrono_literals;
using testsupport::runMainLoopUntil;
using testsupport::TempDir;

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().resetForTesting();
        RunLoop::main().setClock(std::make_shared<RealClock>());
        Application::shared().resetForTesting();
        previousSink = Log::setSink([this](std::string_view line) { logged.emplace_back(line); });
    }
    void TearDown() override {
        Workspace::shared().setOpenerForTesting(nullptr);
        EXPECT_EQ(Workspace::shared().pendingChildCount(), 0u) << "a test left xdg-open unreaped";
        Log::setSink(previousSink);
        Application::shared().resetForTesting();
        RunLoop::main().resetForTesting();
    }

    // A fake xdg-open in the temporary folder, first on PATH; `body` is shell script.
    void installFakeOpener(const std::string& body) {
        dir.write("xdg-open", "#!/bin/sh\n" + body);
        std::filesystem::permissions(dir / "xdg-open", std::filesystem::perms::owner_all);
    }
    std::string pathWithFake() const { return dir.path().string() + ":/usr/bin:/bin"; }

    bool waitForChildren() {
        return runMainLoopUntil([] { return Workspace::shared().pendingChildCount() == 0; }, 20s);
    }

    TempDir dir;
    std::vector<std::string> logged;
    Log::Sink previousSink;
};

struct AddressCase {
    std::string url;
    bool accepted;
};

TEST_F(WorkspaceTest, OnlyWellFormedAbsoluteAddressesReachTheOpener) {
    const AddressCase cases[] = {
        {"http://example.com/", true},
        {"https://example.com/download?v=1.3&os=linux#top", true},
        {"https://example.com/a%20b/%C3%A4", true},
        {"mailto:someone@example.com", true},
        {"x-custom+scheme.v2:thing", true},
        {"http://[::1]:8080/x", true},
        {"", false},
        {"example.com/download", false},
        {"/usr/bin/xcalc", false},
        {"-http://example.com/", false},
        {"1http://example.com/", false},
        {":nothing", false},
        {"http:", false},
        {"ht tp://example.com/", false},
        {"http://exa mple.com/", false},
        {"http://example.com/\n", false},
        {"http://example.com/\r\nX: 1", false},
        {"http://example.com/\t", false},
        {std::string("http://example.com/\0evil", 24), false},
        {"http://example.com/\x7f", false},
        {"http://ex\xc3\xa4mple.com/", false},
        {"http://example.com/\xff\xfe", false},
        {"http://example.com/\"onclick", false},
        {"http://example.com/<script>", false},
        {"http://example.com/`id`", false},
        {"http://example.com/a\\b", false},
        {"http://example.com/%", false},
        {"http://example.com/%4", false},
        {"http://example.com/%zz", false},
        {"http://example.com/" + std::string(Workspace::kLongestURL, 'a'), false},
    };
    std::vector<std::string> opened;
    Workspace::shared().setOpenerForTesting([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    for (const auto& c : cases) {
        opened.clear();
        logged.clear();
        bool result = Workspace::shared().openURL(c.url);
        std::string shown = c.url.substr(0, 60);
        EXPECT_EQ(result, c.accepted) << shown;
        EXPECT_EQ(Workspace::refusalReason(c.url).has_value(), !c.accepted) << shown;
        if (c.accepted) {
            EXPECT_EQ(opened, std::vector<std::string>{c.url});
            EXPECT_TRUE(logged.empty());
        } else {
            EXPECT_TRUE(opened.empty()) << shown;
            ASSERT_EQ(logged.size(), 1u) << shown;
            EXPECT_NE(logged[0].find("Cannot open the address"), std::string::npos) << logged[0];
            EXPECT_LT(logged[0].size(), 400u) << "a hostile address is shortened in the log";
            EXPECT_EQ(logged[0].find_first_of(std::string("\r\n\0", 3)), std::string::npos) << logged[0];
        }
    }
}

TEST_F(WorkspaceTest, TheOpenersAnswerIsTheAnswer) {
    Workspace::shared().setOpenerForTesting([](const std::string&) { return false; });
    EXPECT_FALSE(Workspace::shared().openURL("https://example.com/"));
    auto previous = Workspace::shared().setOpenerForTesting(nullptr);
    ASSERT_TRUE(previous);
    EXPECT_FALSE(previous("https://example.com/"));
}

TEST_F(WorkspaceTest, XdgOpenGetsTheAddressAsItsOneArgumentWithoutAShell) {
    auto out = dir.path().string();
    installFakeOpener("printf '%s' \"$1\" > '" + out + "/argument'\nprintf '%s' \"$#\" > '" + out +
                      "/count'\nreadlink /proc/self/fd/0 > '" + out + "/stdin'\n");
    ScopedEnv path("PATH", pathWithFake());
    ScopedEnv display("DISPLAY", ":99");
    // Each piece would run a command if the address went through a shell.
    const std::string url = "https://example.com/?a=1;touch$IFS" + out + "/semicolon&$(touch$IFS" + out +
                            "/substitution)&'x'&&touch$IFS" + out + "/and";
    ASSERT_FALSE(Workspace::refusalReason(url)) << "the test address must be openable";

    EXPECT_TRUE(Workspace::shared().openURL(url));
    EXPECT_EQ(Workspace::shared().pendingChildCount(), 1u);
    ASSERT_TRUE(waitForChildren());
    EXPECT_EQ(dir.read("argument"), url);
    EXPECT_EQ(dir.read("count"), "1");
    EXPECT_EQ(dir.read("stdin"), "/dev/null\n");
    for (const char* marker : {"semicolon", "substitution", "and"})
        EXPECT_FALSE(std::filesystem::exists(dir / marker)) << marker;
    EXPECT_TRUE(logged.empty());
}

TEST_F(WorkspaceTest, AWaylandSessionCountsAsADesktopToo) {
    installFakeOpener("printf '%s' \"$1\" > '" + dir.path().string() + "/argument'\n");
    ScopedEnv path("PATH", pathWithFake());
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    ScriptedFrontEnd ui;
    EXPECT_TRUE(Workspace::shared().openURL("https://example.com/w"));
    ASSERT_TRUE(waitForChildren());
    EXPECT_EQ(dir.read("argument"), "https://example.com/w");
    EXPECT_TRUE(ui.openedURLs().empty());
}

TEST_F(WorkspaceTest, AFailingXdgOpenIsLoggedWithItsStatus) {
    installFakeOpener("exit 3\n");
    ScopedEnv path("PATH", pathWithFake());
    ScopedEnv display("DISPLAY", ":99");
    EXPECT_TRUE(Workspace::shared().openURL("https://example.com/fails"));
    ASSERT_TRUE(waitForChildren());
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("exit status 3"), std::string::npos) << logged[0];
    EXPECT_NE(logged[0].find("https://example.com/fails"), std::string::npos) << logged[0];
}

struct FallbackCase {
    const char* name;
    std::optional<std::string> display;
    bool fakeOnPath;
};

TEST_F(WorkspaceTest, WithoutDesktopOrXdgOpenTheFrontEndShowsTheAddress) {
    const FallbackCase cases[] = {
        {"noDesktop", std::nullopt, true},
        {"emptyDisplay", "", true},
        {"noXdgOpen", ":99", false},
    };
    for (const auto& c : cases) {
        TempDir scratch;
        if (c.fakeOnPath) {
            scratch.write("xdg-open", "#!/bin/sh\ntouch '" + scratch.path().string() + "/ran'\n");
            std::filesystem::permissions(scratch / "xdg-open", std::filesystem::perms::owner_all);
        }
        ScopedEnv path("PATH", scratch.path().string());
        ScopedEnv display("DISPLAY", c.display);
        ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
        ScriptedFrontEnd ui;
        EXPECT_TRUE(Workspace::shared().openURL("https://example.com/f")) << c.name;
        EXPECT_EQ(ui.openedURLs(), std::vector<std::string>{"https://example.com/f"}) << c.name;
        EXPECT_EQ(Workspace::shared().pendingChildCount(), 0u) << c.name;
        EXPECT_FALSE(std::filesystem::exists(scratch / "ran")) << c.name;

        ui.setOpenURLSucceeds(false);
        logged.clear();
        EXPECT_FALSE(Workspace::shared().openURL("https://example.com/g")) << c.name;
        EXPECT_EQ(logged.size(), 1u) << c.name;
    }
}

TEST_F(WorkspaceTest, WithNoFrontEndTheAddressIsPrinted) {
    ScopedEnv display("DISPLAY", std::nullopt);
    ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
    ASSERT_EQ(Application::shared().frontEnd(), nullptr);
    ::testing::internal::CaptureStdout();
    bool opened = Workspace::shared().openURL("https://example.com/download");
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(opened);
    EXPECT_EQ(printed, "Open this address in a web browser: https://example.com/download\n");
}

}  // namespace
