#include "platform/runtime/NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::string& name, const Object* sender,
                                                          Block block) {
    Token token = m_nextToken++;
    m_observers.push_back(
        {token, name, sender, false, {}, nullptr, std::make_shared<Block>(std::move(block))});
    return token;
}

NotificationCenter::Token NotificationCenter::addObserver(const std::weak_ptr<Object>& owner,
                                                          const std::string& name, const Object* sender,
                                                          Block block) {
    Token token = m_nextToken++;
    const Object* address = owner.lock().get();
    m_observers.push_back(
        {token, name, sender, true, owner, address, std::make_shared<Block>(std::move(block))});
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::erase_if(m_observers, [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::removeObserver(const Object* owner) {
    std::erase_if(m_observers, [owner](const Observer& o) { return o.hasOwner && o.ownerAddress == owner; });
}

void NotificationCenter::post(const std::string& name, ObjectPtr object, Value userInfo) {
    post(Notification{name, std::move(object), std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    std::erase_if(m_observers, [](const Observer& o) { return o.hasOwner && o.owner.expired(); });
    std::vector<std::pair<Token, std::shared_ptr<Block>>> targets;
    for (const auto& o : m_observers) {
        if (o.name != notification.name) continue;
        if (o.sender && o.sender != notification.object.get()) continue;
        targets.emplace_back(o.token, o.block);
    }
    for (const auto& [token, block] : targets) {
        bool stillRegistered = std::any_of(m_observers.begin(), m_observers.end(),
                                           [token = token](const Observer& o) { return o.token == token; });
        if (stillRegistered) (*block)(notification);
    }
}

}  // namespace platform
