// An offer nobody answered is declined: zandrel-host at a terminal or on a pipe, with the update
// alert or the upgrade reminder waiting, ended by SIGTERM, SIGHUP or the end of its input. Nothing
// is opened, nothing is skipped, and what is said names the real cause.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/DocumentServer.h"
#include "tests/support/HostLauncher.h"
#include "tests/support/HostProgramSupport.h"

namespace {

using testsupport::PseudoTerminal;

const char* const kVersionDocument =
    R"({ "latest-version": "2.0", "download-url": "https://downloads.example/update.zip",
         "changelogs": { "default": ["Faster"] } })";
const char* const kUpgradeDocument =
    R"({ "latest-version": "2.0", "download-url": "https://downloads.example/upgrade.zip",
         "localized": { "default": { "changes": ["Reports"], "confirmationString": "I agree" } } })";

enum class Offer { Alert, Reminder };
enum class Ending { Term, Hangup, EndOfInput };

struct UnansweredCase {
    Offer offer;
    Ending ending;
};

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class UnansweredOfferTest : public ::testing::TestWithParam<UnansweredCase> {
protected:
    void SetUp() override {
        db = (dir / "demo.sqlite").string();
        auto created = host().run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        server.serve("/version.json", 200, kVersionDocument);
        server.serve("/upgrade.json", 200, kUpgradeDocument);
    }

    testsupport::HostLauncher host() const {
        testsupport::HostLauncher launcher(dir.path(), {"--db", db});
        launcher.with("TERM", "xterm").with("LANG", "C.UTF-8").with("LANGUAGE", "en");
        return launcher;
    }
    std::vector<std::string> argv(Offer offer) {
        return {"--update-url", offer == Offer::Alert ? server.url("/version.json") : "", "--upgrade-url",
                offer == Offer::Reminder ? server.url("/upgrade.json") : ""};
    }
    static const char* shownText(Offer offer) {
        return offer == Offer::Alert ? "A new version of Zandrel is available" : "Zandrel 2.0 is available";
    }

    testsupport::TempDir dir;
    testsupport::DocumentServer server;
    std::string db;
};

TEST_P(UnansweredOfferTest, IsDeclinedAndOpensNothing) {
    const auto [offer, ending] = GetParam();
    std::string out;
    std::optional<int> status;
    if (ending == Ending::EndOfInput) {
        // A pipe that ends once the offer is on the screen: a script that said nothing about it.
        auto fifo = dir / "input";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        pid_t pid = host().start(argv(offer), fifo, dir / "out", dir / "err");
        int writer = ::open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (readFile(dir / "out").find(shownText(offer)) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::close(writer);
        int wstatus = 0;
        ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
        if (WIFEXITED(wstatus)) status = WEXITSTATUS(wstatus);
        out = readFile(dir / "out");
        ASSERT_NE(out.find(shownText(offer)), std::string::npos) << out << readFile(dir / "err");
        EXPECT_EQ(out.find("terminated by"), std::string::npos) << out;
    } else {
        PseudoTerminal terminal(host().terminal(argv(offer)));
        ASSERT_TRUE(terminal.waitFor(shownText(offer))) << terminal.output();
        ASSERT_TRUE(terminal.waitFor("> ")) << terminal.output();
        terminal.signal(ending == Ending::Term ? SIGTERM : SIGHUP);
        status = terminal.waitForExit();
        out = terminal.output();
        EXPECT_NE(out.find("terminated by"), std::string::npos) << out;
        EXPECT_EQ(out.find("no more input"), std::string::npos) << "a signal is not the end of input\n"
                                                                << out;
    }
    EXPECT_EQ(status, std::optional<int>(0)) << out;
    EXPECT_EQ(out.find("Open this address"), std::string::npos) << out;
    EXPECT_EQ(out.find("downloads.example"), std::string::npos) << out;
    const bool declinedAlert = out.find("answered \"Not Now\"") != std::string::npos;
    EXPECT_EQ(declinedAlert, offer == Offer::Alert) << out;
    // The reminder's message is wrapped at the terminal: each change on a line of its own.
    bool changeOnItsOwnLine = false;
    for (size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = out.substr(start, end - start);
        size_t text = line.find_first_not_of(' ');
        changeOnItsOwnLine |= text != std::string::npos && line.compare(text, 11, "\u2022 Reports") == 0;
    }
    EXPECT_EQ(changeOnItsOwnLine, offer == Offer::Reminder) << out;
    // Postponed, not skipped: the version is offered again next time.
    EXPECT_EQ(readFile(dir / "config" / "zandrel" / "zandrel-host.json").find("2.0"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Endings, UnansweredOfferTest,
                         ::testing::Values(UnansweredCase{Offer::Alert, Ending::Term},
                                           UnansweredCase{Offer::Alert, Ending::Hangup},
                                           UnansweredCase{Offer::Alert, Ending::EndOfInput},
                                           UnansweredCase{Offer::Reminder, Ending::Term},
                                           UnansweredCase{Offer::Reminder, Ending::Hangup},
                                           UnansweredCase{Offer::Reminder, Ending::EndOfInput}));

}  // namespace
