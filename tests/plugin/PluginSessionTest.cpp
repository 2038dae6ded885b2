// The session object registry: what it keeps, and how sign-off empties it.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/plugin/PluginTestSupport.h"

namespace {

using plugintest::isRegistered;
using plugintest::TestDialog;

// A session object that counts its disposals and can register another object while disposing.
class Disposable : public platform::Object, public KOPAPluginSessionObject {
public:
    void dispose() override {
        ++disposals;
        wasRegisteredWhileDisposing = isRegistered(this);
        if (registerOnDispose)
            KOPAPluginSession::sharedPluginSession()->registerSessionObject(registerOnDispose);
    }
    int disposals = 0;
    bool wasRegisteredWhileDisposing = false;
    platform::ObjectPtr registerOnDispose;
};

// Any other object: it cannot dispose of itself.
class Plain : public platform::Object {};

class PluginSessionTest : public plugintest::PluginTest {
protected:
    std::shared_ptr<KOPAPluginSession> session = KOPAPluginSession::sharedPluginSession();
};

TEST_F(PluginSessionTest, SharedRegistryIsOneAndStartsEmpty) {
    EXPECT_EQ(KOPAPluginSession::sharedPluginSession(), session);
    EXPECT_TRUE(session->sessionObjects().empty());
}

TEST_F(PluginSessionTest, RegisteringTwiceThenUnregisteringOnceLeavesItOut) {
    auto object = std::make_shared<Plain>();
    session->registerSessionObject(object);
    session->registerSessionObject(object);
    EXPECT_EQ(session->sessionObjects().size(), 1u);
    session->unregisterSessionObject(object.get());
    EXPECT_FALSE(isRegistered(object.get()));
    EXPECT_TRUE(session->sessionObjects().empty());
}

TEST_F(PluginSessionTest, UnregisteringAnUnknownObjectIsIgnored) {
    auto kept = std::make_shared<Plain>();
    auto stranger = std::make_shared<Plain>();
    session->registerSessionObject(kept);
    session->unregisterSessionObject(stranger.get());
    EXPECT_EQ(session->sessionObjects(), (std::vector<platform::ObjectPtr>{kept}));
}

TEST_F(PluginSessionTest, HoldsItsObjectsStrongly) {
    auto object = std::make_shared<Plain>();
    std::weak_ptr<Plain> weak = object;
    session->registerSessionObject(object);
    object.reset();
    EXPECT_FALSE(weak.expired());
    session->unregisterSessionObject(weak.lock().get());
    EXPECT_TRUE(weak.expired());
}

TEST_F(PluginSessionTest, ClearDisposesWhatCanAndDropsTheRest) {
    auto disposable = std::make_shared<Disposable>();
    auto plain = std::make_shared<Plain>();
    std::weak_ptr<Plain> weakPlain = plain;
    session->registerSessionObject(disposable);
    session->registerSessionObject(plain);
    plain.reset();

    session->clear();
    EXPECT_EQ(disposable->disposals, 1);
    EXPECT_TRUE(disposable->wasRegisteredWhileDisposing);
    EXPECT_TRUE(session->sessionObjects().empty());
    EXPECT_TRUE(weakPlain.expired());
}

TEST_F(PluginSessionTest, ObjectsRegisteredWhileDisposingAreClearedInTheSameRun) {
    auto first = std::make_shared<Disposable>();
    auto second = std::make_shared<Disposable>();
    first->registerOnDispose = second;
    session->registerSessionObject(first);
    session->clear();
    EXPECT_EQ(first->disposals, 1);
    EXPECT_EQ(second->disposals, 1);
    EXPECT_TRUE(session->sessionObjects().empty());
}

TEST_F(PluginSessionTest, ClearOnAnEmptyRegistryDoesNothing) {
    session->clear();
    EXPECT_TRUE(session->sessionObjects().empty());
    EXPECT_EQ(loop.pendingBlockCount(), 0u);
}

TEST_F(PluginSessionTest, SignedOffNotificationClearsTheRegistry) {
    auto disposable = std::make_shared<Disposable>();
    session->registerSessionObject(disposable);
    platform::NotificationCenter::defaultCenter().post(KOPAUserSignedOffNotification);
    EXPECT_EQ(disposable->disposals, 1);
    EXPECT_TRUE(session->sessionObjects().empty());
}

class SessionDialogTest : public PluginSessionTest {
protected:
    void SetUp() override {
        PluginSessionTest::SetUp();
        bundle = plugintest::writeDialogBundle(dir / "Dialogs.bundle");
        ASSERT_TRUE(bundle);
    }
    std::shared_ptr<platform::Bundle> bundle;
};

TEST_F(SessionDialogTest, NormalCloseIsRemovedOnTheNextTurnNotAtOnce) {
    auto dialog = plugintest::makeTestDialog(bundle);
    dialog->runWindow(nullptr);
    dialog->close();
    EXPECT_TRUE(isRegistered(dialog.get()));
    loop.runPending();
    EXPECT_FALSE(isRegistered(dialog.get()));
}

TEST_F(SessionDialogTest, DeferredRemovalAfterClearIsIgnored) {
    auto dialog = plugintest::makeTestDialog(bundle);
    dialog->runWindow(nullptr);
    dialog->close();
    session->clear();
    ASSERT_FALSE(isRegistered(dialog.get()));
    // Something new registers before the pending removal runs; the removal must not touch it.
    auto newcomer = std::make_shared<Disposable>();
    session->registerSessionObject(newcomer);
    loop.runPending();
    EXPECT_EQ(session->sessionObjects(), (std::vector<platform::ObjectPtr>{newcomer}));
    EXPECT_EQ(newcomer->disposals, 0);
}

TEST_F(SessionDialogTest, SignOffClosesEveryOpenDialogWithResultZero) {
    startHost(dir / "demo.zandrel");
    host->showLoginWindow();
    signIn();
    auto mainWindow = app.mainWindow();

    std::vector<std::pair<std::string, int64_t>> results;
    auto sheet = plugintest::makeTestDialog(bundle);
    auto free = plugintest::makeTestDialog(bundle);
    sheet->runSheetInWindowCompletion(mainWindow, [&](int64_t r) { results.emplace_back("sheet", r); });
    free->runWindow([&](int64_t r) { results.emplace_back("free", r); });
    ASSERT_EQ(session->sessionObjects().size(), 2u);
    std::weak_ptr<TestDialog> weakSheet = sheet, weakFree = free;
    sheet.reset();
    free.reset();

    ASSERT_TRUE(host->signOff());
    std::sort(results.begin(), results.end());
    EXPECT_EQ(results, (std::vector<std::pair<std::string, int64_t>>{{"free", 0}, {"sheet", 0}}));
    EXPECT_TRUE(session->sessionObjects().empty());
    ASSERT_FALSE(weakSheet.expired());
    EXPECT_FALSE(weakSheet.lock()->window()->isVisible());
    EXPECT_FALSE(weakFree.lock()->window()->isVisible());

    loop.runPending();
    EXPECT_TRUE(session->sessionObjects().empty());
    EXPECT_TRUE(weakSheet.expired());
    EXPECT_TRUE(weakFree.expired());
}

}  // namespace
