#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"

using namespace platform;

namespace {

class Sender : public Object {};

class Listener : public Object {
public:
    void heard(const Notification& n) { names.push_back(n.name); }
    std::vector<std::string> names;
};

class NotificationCenterTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto token : tokens) center.removeObserver(token);
    }
    NotificationCenter::Token observe(const std::string& name, const Object* sender,
                                      NotificationCenter::Block block) {
        tokens.push_back(center.addObserver(name, sender, std::move(block)));
        return tokens.back();
    }
    NotificationCenter& center = NotificationCenter::defaultCenter();
    std::vector<NotificationCenter::Token> tokens;
};

TEST_F(NotificationCenterTest, DeliversSynchronouslyInRegistrationOrder) {
    std::vector<std::string> log;
    observe("Ping", nullptr, [&](const Notification&) { log.push_back("first"); });
    observe("Pong", nullptr, [&](const Notification&) { log.push_back("other name"); });
    observe("Ping", nullptr,
            [&](const Notification& n) { log.push_back("second:" + n.userInfo.description()); });
    center.post("Ping", nullptr, Value("info"));
    log.push_back("after post");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "second:info", "after post"}));
}

TEST_F(NotificationCenterTest, SenderFilterOnlyMatchesThatSender) {
    auto a = std::make_shared<Sender>();
    auto b = std::make_shared<Sender>();
    int fromA = 0, fromAny = 0;
    observe("Changed", a.get(), [&](const Notification& n) {
        EXPECT_EQ(n.object, a);
        ++fromA;
    });
    observe("Changed", nullptr, [&](const Notification&) { ++fromAny; });
    center.post("Changed", a);
    center.post("Changed", b);
    center.post("Changed");
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromAny, 3);
}

TEST_F(NotificationCenterTest, WeakOwnerStopsDeliveryOnceGone) {
    auto listener = std::make_shared<Listener>();
    center.addObserver(listener, &Listener::heard, "Ping", nullptr);
    size_t registered = center.observerCount();
    center.post("Ping");
    EXPECT_EQ(listener->names, std::vector<std::string>{"Ping"});
    listener.reset();
    center.post("Ping");  // no call into a dead object, and the registration is forgotten
    EXPECT_EQ(center.observerCount(), registered - 1);
}

TEST_F(NotificationCenterTest, RemovalByOwnerDropsEveryRegistration) {
    auto owner = std::make_shared<Listener>();
    int calls = 0;
    center.addObserver(std::weak_ptr<Object>(owner), "A", nullptr, [&](const Notification&) { ++calls; });
    center.addObserver(std::weak_ptr<Object>(owner), "B", nullptr, [&](const Notification&) { ++calls; });
    center.removeObserver(owner.get());
    center.post("A");
    center.post("B");
    EXPECT_EQ(calls, 0);
}

TEST_F(NotificationCenterTest, ObserverRemovedDuringDeliveryIsNotCalledByThatPost) {
    std::vector<std::string> log;
    NotificationCenter::Token second = 0;
    observe("Ping", nullptr, [&](const Notification&) {
        log.push_back("first");
        center.removeObserver(second);
        // Added during delivery: not part of this post.
        observe("Ping", nullptr, [&](const Notification&) { log.push_back("late"); });
    });
    second = observe("Ping", nullptr, [&](const Notification&) { log.push_back("second"); });
    observe("Ping", nullptr, [&](const Notification&) { log.push_back("third"); });
    center.post("Ping");
    EXPECT_EQ(log, (std::vector<std::string>{"first", "third"}));
}

TEST_F(NotificationCenterTest, ObserverMayRemoveItselfWhileBeingCalled) {
    int calls = 0;
    NotificationCenter::Token self = 0;
    self = observe("Once", nullptr, [&](const Notification&) {
        ++calls;
        center.removeObserver(self);  // the block stays alive until it returns
    });
    center.post("Once");
    center.post("Once");
    EXPECT_EQ(calls, 1);
}

}  // namespace
