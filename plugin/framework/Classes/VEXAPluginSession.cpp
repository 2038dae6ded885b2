#include "VEXAPluginSession.h"

#include <mutex>

#include "VEXAPlugin.h"
#include "platform/runtime/NotificationCenter.h"

namespace {
std::shared_ptr<KOPAPluginSession>& sharedSlot() {
    static std::shared_ptr<KOPAPluginSession> session;
    return session;
}
}  // namespace

std::shared_ptr<KOPAPluginSession> KOPAPluginSession::sharedPluginSession() {
    initialize();
    auto& slot = sharedSlot();
    if (!slot) slot = std::make_shared<KOPAPluginSession>();
    return slot;
}

void KOPAPluginSession::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::NotificationCenter::defaultCenter().addObserver(KOPAUserSignedOffNotification, nullptr,
                                                                  [](const platform::Notification&) {
                                                                      // Never creates the registry: a
                                                                      // sign-off before first use has nothing
                                                                      // to clear.
                                                                      if (auto session = sharedSlot())
                                                                          session->clear();
                                                                  });
    });
}

void KOPAPluginSession::registerSessionObject(const platform::ObjectPtr& object) {
    if (object) m_sessionObjects.emplace(object.get(), object);
}

void KOPAPluginSession::unregisterSessionObject(const platform::Object* object) {
    m_sessionObjects.erase(object);
}

std::vector<platform::ObjectPtr> KOPAPluginSession::sessionObjects() const {
    std::vector<platform::ObjectPtr> objects;
    objects.reserve(m_sessionObjects.size());
    for (const auto& [key, object] : m_sessionObjects) objects.push_back(object);
    return objects;
}

void KOPAPluginSession::clear() {
    while (!m_sessionObjects.empty()) {
        platform::ObjectPtr object = m_sessionObjects.begin()->second;  // keeps it alive through dispose
        if (auto* disposable = dynamic_cast<KOPAPluginSessionObject*>(object.get())) disposable->dispose();
        m_sessionObjects.erase(object.get());
    }
}
