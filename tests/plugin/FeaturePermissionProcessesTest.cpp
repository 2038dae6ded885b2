// Feature permissions shared by two processes on one database file: each grant or withdrawal
// saved by one process counts at the other's next check, with nothing cached in between. The
// second process is a child of the test that answers commands over a pipe, on its own connection.

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "framework/Classes/VEXAFeature.h"
#include "host/database/model/GWUser.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

constexpr const char* kFeatures[] = {"export", "reports", "archive"};

bool writeLine(int fd, const std::string& line) {
    std::string text = line + "\n";
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// One line from fd, waiting at most `timeoutMs`; empty when none came.
std::string readLine(int fd, int timeoutMs) {
    std::string line;
    char c;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || ::read(fd, &c, 1) != 1) return line;
        if (c == '\n') return line;
        line += c;
    }
}

// The other process: signs in as "cy" on a connection of its own and answers
//   check FEATURE            -> 1 or 0 (does cy have it?)
//   grant|withdraw FEATURE cy|all -> ok, or error TEXT
int serveChecks(const std::filesystem::path& file, int in, int out) {
    auto context = DLPObjectContext::open(file, "cy");
    if (!context) return 3;
    auto cy = (*context)->user();
    writeLine(out, "ready");
    while (true) {
        std::string line = readLine(in, 20000);
        if (line.empty() || line == "quit") return 0;
        std::istringstream words(line);
        std::string verb, identifier, who;
        words >> verb >> identifier >> who;
        if (verb == "check") {
            writeLine(out, KOPAFeature::userHasFeatureWithID(**context, cy.get(), identifier) ? "1" : "0");
            continue;
        }
        auto feature = KOPAFeature::featureForID(identifier);
        auto status =
            feature->setActiveForUser(**context, verb == "grant", who == "all" ? nullptr : cy.get());
        writeLine(out, status ? "ok" : "error " + status.message());
    }
}

class FeaturePermissionProcessesTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        addUser(*context, "cy", "Cy Other", true);
        ASSERT_TRUE(context->saveChanges());
        auto cyHere = DLPObjectContext::open(file, "cy");
        ASSERT_TRUE(cyHere);
        cy = (*cyHere)->user();
        std::ofstream(dir / "features.json") << R"({"export": {}, "reports": {}, "archive": {}})";
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile("Showcase", dir / "features.json");

        int toChild[2], fromChild[2];
        ASSERT_EQ(::pipe(toChild), 0);
        ASSERT_EQ(::pipe(fromChild), 0);
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            // No destructors or test machinery of the parent run here.
            ::_exit(serveChecks(file, toChild[0], fromChild[1]));
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        toOther = toChild[1];
        fromOther = fromChild[0];
        ASSERT_EQ(readLine(fromOther, 20000), "ready");
    }
    void TearDown() override {
        if (child > 0) {
            writeLine(toOther, "quit");
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << "the other process failed: " << status;
        }
        if (toOther >= 0) ::close(toOther);
        if (fromOther >= 0) ::close(fromOther);
        DatabaseTest::TearDown();
    }
    std::string askOther(const std::string& command) {
        EXPECT_TRUE(writeLine(toOther, command));
        return readLine(fromOther, 20000);
    }
    bool otherSees(const std::string& feature) { return askOther("check " + feature) == "1"; }
    bool hereSees(const std::string& feature) {
        return KOPAFeature::userHasFeatureWithID(*context, cy.get(), feature);
    }

    std::shared_ptr<GWUser> cy;
    pid_t child = -1;
    int toOther = -1, fromOther = -1;
};

TEST_F(FeaturePermissionProcessesTest, AGrantOrWithdrawalSavedByOneIsSeenByTheOthersNextCheck) {
    auto exportFeature = KOPAFeature::featureForID("export");
    EXPECT_FALSE(otherSees("export"));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, cy.get()));
    EXPECT_TRUE(otherSees("export"));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, cy.get()));
    EXPECT_FALSE(otherSees("export"));

    ASSERT_EQ(askOther("grant reports all"), "ok");
    EXPECT_TRUE(hereSees("reports"));
    ASSERT_EQ(askOther("withdraw reports all"), "ok");
    EXPECT_FALSE(hereSees("reports"));
}

TEST_F(FeaturePermissionProcessesTest, BothProcessesAgreeWithTheGrantsAfterEveryChangeInASeededRandomRun) {
    // The grants that should exist: (feature, "cy" or "all").
    std::map<std::pair<std::string, std::string>, bool> granted;
    std::mt19937 random(20261207);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    for (int step = 0; step < 60; ++step) {
        std::string feature = kFeatures[pick(3)];
        std::string who = pick(2) ? "cy" : "all";
        bool grant = pick(2) == 0;
        std::string what = fmt::format("step {}: {} {} {}", step, grant ? "grant" : "withdraw", feature, who);
        if (pick(2)) {
            auto status = KOPAFeature::featureForID(feature)->setActiveForUser(
                *context, grant, who == "all" ? nullptr : cy.get());
            ASSERT_TRUE(status) << what << ": " << status.message();
        } else {
            ASSERT_EQ(askOther(fmt::format("{} {} {}", grant ? "grant" : "withdraw", feature, who)), "ok")
                << what;
        }
        granted[{feature, who}] = grant;
        for (const char* f : kFeatures) {
            bool expected = granted[{f, "cy"}] || granted[{f, "all"}];
            EXPECT_EQ(hereSees(f), expected) << what << ", checking " << f << " here";
            EXPECT_EQ(otherSees(f), expected) << what << ", checking " << f << " in the other process";
        }
    }
    // Granting twice never made a second record.
    std::string duplicates =
        hosttest::rawQuery(file,
                           "SELECT count(*) FROM (SELECT foreignID, contactID FROM GWConnectorMap "
                           "GROUP BY foreignID, contactID HAVING count(*) > 1)");
    EXPECT_EQ(duplicates, "0");
}

}  // namespace
