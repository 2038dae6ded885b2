// zandrel-host --gui ended by a signal (the session closing, a service manager stopping it, Ctrl-C
// in the terminal that started it): it saves what a person finished and quits cleanly, leaving a
// sound database.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "tests/gui/GuiSession.h"
#include "tests/support/DocumentServer.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::builtProgram;
using testsupport::GuiSession;
using testsupport::runProgram;

using testsupport::kSheet;

class GuiInputSignalTest : public ::testing::Test {
protected:
    fs::path newDatabase(const std::string& name) {
        fs::path db = dir / name;
        auto r = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--init-demo"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return db;
    }
    static std::string sql(const fs::path& db, const std::string& statement) {
        auto r = runProgram({"/usr/bin/sqlite3", db.string(), statement});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
    // Up to the sheet with `name` typed into it, by mouse; false when a step never came.
    static bool fillTheSheet(GuiSession& session, const std::string& name) {
        auto plugins = session.waitFor(
            [](const GuiSession::Item& i) {
                return i.kind == "label" && i.surface == "toplevel" && i.text == "Plug-ins";
            },
            "the menu bar");
        if (!plugins || !session.waitForWindow(plugins->window)) return false;
        const std::string main = plugins->window;
        session.click(*plugins);
        for (const char* item : {"Zandrel", "Duplicate Form Template\u2026"}) {
            auto label = session.waitForLabel("popup", main, item);
            if (!label) return false;
            session.click(*label);
        }
        auto field = session.waitForView(kSheet, "name", "");
        if (!field) return false;
        session.click(*field);
        if (!session.waitForView(kSheet, "name", " focus")) return false;
        session.type(name);
        return session.waitForView(kSheet, "name", name + " focus").has_value();
    }

    testsupport::TempDir dir;
};

TEST_F(GuiInputSignalTest, ASignalSavesWhatWasDoneAndQuits) {
    struct Case {
        int signo;
        bool pressDuplicate;  // the copy made and its alert waiting, else the sheet still open
    };
    int n = 0;
    for (const Case& c : {Case{SIGTERM, true}, Case{SIGHUP, true}, Case{SIGINT, true}, Case{SIGTERM, false},
                          Case{SIGHUP, false}}) {
        SCOPED_TRACE(testing::Message()
                     << "signal " << c.signo << (c.pressDuplicate ? " at the alert" : " at the sheet"));
        auto db = newDatabase("signal" + std::to_string(++n) + ".sqlite");
        std::string name = "Copy " + std::to_string(n);
        std::string countBefore = sql(db, "SELECT count(*) FROM CustomRecordSetDefinition");
        GuiSession session(db, dir.path());
        ASSERT_TRUE(fillTheSheet(session, name));
        if (c.pressDuplicate) {
            auto duplicate = session.waitForView(kSheet, "duplicate", "Duplicate");
            ASSERT_TRUE(duplicate);
            session.click(*duplicate);
            // The copy is made but not yet stored: the act that made it waits for this answer.
            ASSERT_TRUE(session.waitForWindow("Success!", "active modal"));
        }
        ASSERT_EQ(::kill(session.pid(), c.signo), 0);
        EXPECT_EQ(session.waitForExit(), 0) << session.errorOutput();
        std::string err = session.errorOutput();
        EXPECT_NE(err.find("saved and quit on a signal"), std::string::npos) << err;
        for (const char* bad : {"Gtk-WARNING", "CRITICAL", "Gdk-WARNING", "GLib-WARNING"})
            EXPECT_EQ(err.find(bad), std::string::npos) << bad << " in:\n" << err;
        EXPECT_EQ(sql(db, "PRAGMA integrity_check"), "ok\n");
        std::string stored =
            sql(db, "SELECT count(*) FROM CustomRecordSetDefinition WHERE name = '" + name + "'");
        EXPECT_EQ(stored, c.pressDuplicate ? "1\n" : "0\n");
        if (!c.pressDuplicate) {
            EXPECT_EQ(sql(db, "SELECT count(*) FROM CustomRecordSetDefinition"), countBefore);
        }
    }
}

TEST_F(GuiInputSignalTest, ASignalDeclinesTheUpdateOfferWaitingForAnAnswer) {
    testsupport::DocumentServer server;
    server.serve("/version.json", 200,
                 R"({ "latest-version": "2.0", "download-url": "https://downloads.example/update.zip",
                      "changelogs": { "default": ["Faster"] } })");
    for (int signo : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signo);
        auto db = newDatabase("offer" + std::to_string(signo) + ".sqlite");
        GuiSession session(db, dir.path(),
                           {"--update-url", server.url("/version.json"), "--upgrade-url", ""});
        // Both plug-ins are offered the update, in either order: the signal must find both alerts
        // waiting, whichever is on top.
        ASSERT_TRUE(session.waitForWindow("A new version of Zandrel is available: 2.0", ""));
        ASSERT_TRUE(session.waitForWindow("A new version of Showcase is available: 2.0", ""));
        ASSERT_EQ(::kill(session.pid(), signo), 0);
        EXPECT_EQ(session.waitForExit(), 0) << session.errorOutput();
        std::string err = session.errorOutput();
        EXPECT_NE(
            err.find("terminated by a signal: alert \"A new version of Zandrel is available: 2.0\" answered "
                     "\"Not Now\""),
            std::string::npos)
            << err;
        EXPECT_NE(
            err.find("terminated by a signal: alert \"A new version of Showcase is available: 2.0\" answered "
                     "\"Not Now\""),
            std::string::npos)
            << err;
        EXPECT_EQ(err.find("downloads.example"), std::string::npos) << "nothing was opened:\n" << err;
    }
}

}  // namespace
