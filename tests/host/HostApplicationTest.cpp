// The host's save path: a save that fails is reported and loses nothing; once the cause is gone
// the next save stores the changes.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>

#include "host/app/DLDocument.h"
#include "host/app/DLMainWindow.h"
#include "host/app/HostApplication.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DemoDatabase.h"
#include "host/database/store/StoreFactory.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/host/ForwardingStore.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

namespace {

// Something outside the host that makes writing the file fail until it is removed.
class SaveBlocker {
public:
    virtual ~SaveBlocker() = default;
    virtual void remove() = 0;
};

// Another program holds the file's write lock.
class ExclusiveLock : public SaveBlocker {
public:
    explicit ExclusiveLock(const std::filesystem::path& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(m_db);
    }
    ~ExclusiveLock() override { remove(); }
    void remove() override {
        if (!m_db) return;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

// The file refuses new form templates (as a constraint added by another program would).
class RefusingTrigger : public SaveBlocker {
public:
    explicit RefusingTrigger(std::filesystem::path file) : m_file(std::move(file)) {
        hosttest::rawExec(m_file,
                          "CREATE TRIGGER refuse_templates BEFORE INSERT ON \"CustomRecordSetDefinition\" "
                          "BEGIN SELECT RAISE(ABORT, 'form templates are frozen'); END");
    }
    void remove() override { hosttest::rawExec(m_file, "DROP TRIGGER IF EXISTS refuse_templates"); }

private:
    std::filesystem::path m_file;
};

struct BlockerCase {
    const char* name;
    std::function<std::unique_ptr<SaveBlocker>(const std::filesystem::path&)> make;
};

class HostSaveTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        previousSink = platform::Log::setSink([this](std::string_view text) { logLines.emplace_back(text); });
        ui = std::make_unique<platform::ScriptedFrontEnd>();
        file = dir / "host.zandrel";
        auto created = host::DemoDatabase::create(file);
        ASSERT_TRUE(created) << created.message();
        std::filesystem::create_directories(dir / "Host");
        std::ofstream(dir / "Host" / "Info.json") << R"({ "CFBundleShortVersionString": "6.2.1" })";
        host = host::HostApplication::create({file, dir / "PlugIns", dir / "Host"});
        auto opened = host->openDatabase();
        ASSERT_TRUE(opened) << opened.message();
        auto signedIn = host->signIn("ada");
        ASSERT_TRUE(signedIn) << signedIn.message();
        context = host->document()->objectContext();
        auto form = context->createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(form) << form.status().message();
        (*form)->setName("Made Before The Failure");
    }
    void TearDown() override {
        host.reset();
        context.reset();
        ui.reset();
        platform::Log::setSink(std::move(previousSink));
        UiTest::TearDown();
    }

    std::string storedCount() {
        return hosttest::rawQuery(file,
                                  "SELECT count(*) FROM \"CustomRecordSetDefinition\" "
                                  "WHERE name = 'Made Before The Failure'");
    }

    testsupport::TempDir dir;
    std::filesystem::path file;
    std::unique_ptr<platform::ScriptedFrontEnd> ui;
    std::shared_ptr<host::HostApplication> host;
    std::shared_ptr<DLPObjectContext> context;
    std::vector<std::string> logLines;
    platform::Log::Sink previousSink;
};

class FailedSaveTest : public HostSaveTest, public ::testing::WithParamInterface<BlockerCase> {};

TEST_P(FailedSaveTest, IsReportedKeepsTheChangesAndTheNextSaveStoresThem) {
    auto blocker = GetParam().make(file);
    ui->answerAlert("OK");
    auto failed = host->saveChanges();
    ASSERT_FALSE(failed);
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "The changes could not be saved");
    EXPECT_NE(ui->lastAlert().message.find(failed.message()), std::string::npos) << ui->lastAlert().message;
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find(failed.message()), std::string::npos) << logLines[0];
    EXPECT_TRUE(context->hasChanges());

    blocker->remove();
    EXPECT_EQ(storedCount(), "0");
    // The person saves again from the menu.
    ASSERT_TRUE(ui->chooseMenu(std::vector<std::string>{"File", "Save"}));
    EXPECT_EQ(ui->alerts().size(), 1u) << "no second alert";
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(storedCount(), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedSaveTest,
    ::testing::Values(BlockerCase{"RefusingTrigger",
                                  [](const std::filesystem::path& f) -> std::unique_ptr<SaveBlocker> {
                                      return std::make_unique<RefusingTrigger>(f);
                                  }},
                      BlockerCase{"ExclusiveLockOfAnotherConnection",
                                  [](const std::filesystem::path& f) -> std::unique_ptr<SaveBlocker> {
                                      return std::make_unique<ExclusiveLock>(f);
                                  }}),
    testsupport::CaseName());

TEST_F(HostSaveTest, SuccessfulSaveShowsNothing) {
    ASSERT_TRUE(host->saveChanges());
    EXPECT_TRUE(ui->alerts().empty());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(storedCount(), "1");
}

TEST_F(HostSaveTest, SignOffWhoseSaveFailsKeepsTheDocumentAndItsChanges) {
    RefusingTrigger blocker(file);
    ui->answerAlert("OK");
    EXPECT_FALSE(host->signOff());
    EXPECT_TRUE(host->isSignedIn());
    EXPECT_EQ(host->document()->objectContext(), context);
    EXPECT_TRUE(context->hasChanges());
    // Nothing of the sign-off happened: the signed-in window is still the main one.
    EXPECT_EQ(platform::Application::shared().mainWindow(),
              host->document()->firstOrderedMainWindowController()->window());

    blocker.remove();
    ASSERT_TRUE(host->signOff());
    EXPECT_FALSE(host->isSignedIn());
    EXPECT_EQ(storedCount(), "1");
}

}  // namespace

namespace {

TEST_F(HostSaveTest, AfterAFailedSaveCommandsDoNotRetryUntilSomethingChanged) {
    RefusingTrigger blocker(file);
    ui->answerAlert("OK");
    EXPECT_FALSE(host->saveChangesAfterCommand());
    EXPECT_EQ(ui->alerts().size(), 1u);
    // Nothing new: no second attempt, no second alert.
    EXPECT_FALSE(host->saveChangesAfterCommand());
    EXPECT_EQ(ui->alerts().size(), 1u);
    // A new change is worth another try; an explicit save always tries.
    auto more = context->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(more);
    (*more)->setName("Another");
    ui->answerAlert("OK");
    EXPECT_FALSE(host->saveChangesAfterCommand());
    EXPECT_EQ(ui->alerts().size(), 2u);
    blocker.remove();
    EXPECT_TRUE(host->saveChanges());
    EXPECT_FALSE(context->hasChanges());
}

}  // namespace

namespace {

// A server that stops answering: saves fail as unreachable (nothing written) until it is back.
class UnreachableStore final : public hosttest::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;
    bool down = false;
    int saves = 0;
    platform::Status beginSave() override {
        ++saves;
        if (down)
            return platform::Status::error(platform::Status::Code::Unavailable,
                                           "the server does not answer (connection refused)");
        return real().beginSave();
    }
};

// The person is told once that the database cannot be reached and that the changes are kept;
// the host then retries by itself, with growing pauses, and stores them once the server answers.
TEST_F(HostSaveTest, AnUnreachableDatabaseIsRetriedByItselfUntilTheChangesAreStored) {
    auto real = host::StoreFactory::open(file.string());
    ASSERT_TRUE(real) << real.status().message();
    auto store = std::make_shared<UnreachableStore>(*real);
    host = host::HostApplication::create({file, dir / "PlugIns", dir / "Host"});
    host->openDatabase(store, "team");
    ASSERT_TRUE(host->signIn("ada"));
    context = host->document()->objectContext();
    auto form = context->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(form);
    (*form)->setName("Made Before The Failure");

    store->down = true;
    ui->answerAlert("OK");
    ASSERT_FALSE(host->saveChangesAfterCommand());
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "The database cannot be reached");
    EXPECT_NE(ui->lastAlert().message.find("Your changes are kept"), std::string::npos)
        << ui->lastAlert().message;
    EXPECT_NE(ui->lastAlert().message.find("connection refused"), std::string::npos)
        << ui->lastAlert().message;

    // Pauses of 2, 4, 8 and 16 seconds: four more tries, none alerting again.
    const int before = store->saves;
    for (int pause : {2, 4, 8, 16}) {
        clock->advance(std::chrono::seconds(pause) - std::chrono::milliseconds(1));
        platform::RunLoop::main().runPending();
        EXPECT_EQ(store->saves - before, pause == 2 ? 0 : pause == 4 ? 1 : pause == 8 ? 2 : 3) << "early";
        clock->advance(std::chrono::milliseconds(1));
        platform::RunLoop::main().runPending();
    }
    EXPECT_EQ(store->saves - before, 4);
    EXPECT_EQ(ui->alerts().size(), 1u) << "told once, not at every try";
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(storedCount(), "0");

    store->down = false;
    clock->advance(host::HostApplication::kMaxSaveRetry);
    platform::RunLoop::main().runPending();
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(storedCount(), "1");
    // Stored: no timer is left to try again.
    const int after = store->saves;
    clock->advance(std::chrono::minutes(5));
    platform::RunLoop::main().runPending();
    EXPECT_EQ(store->saves, after);
}

}  // namespace
