#pragma once

// NotificationCenter: the process's default notification centre. Observers register for a name,
// from any sender or from one given sender, with a callable; post() delivers synchronously on
// the posting thread, to the observers in registration order, before it returns.
//
// Observers registered with a weak owner are skipped (and forgotten) once the owner is gone, so
// an object may observe itself without a removal in its destructor. An observer removed while a
// post is being delivered is not called by that post any more.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace platform {

struct Notification {
    std::string name;
    ObjectPtr object;  // the sender, or none
    Value userInfo;    // null when there is none
};

class NotificationCenter {
public:
    using Token = uint64_t;
    using Block = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Block observer. `sender` == nullptr observes every sender.
    Token addObserver(const std::string& name, const Object* sender, Block block);
    // Observer owned by `owner`: delivery stops once the owner is destroyed; removeObserver(owner)
    // removes every registration made for it.
    Token addObserver(const std::weak_ptr<Object>& owner, const std::string& name, const Object* sender,
                      Block block);
    // Member-function observer ("selector"): calls (observer->*selector)(notification).
    template <typename T>
    Token addObserver(const std::shared_ptr<T>& observer, void (T::*selector)(const Notification&),
                      const std::string& name, const Object* sender) {
        std::weak_ptr<T> weak = observer;
        return addObserver(std::weak_ptr<Object>(observer), name, sender,
                           [weak, selector](const Notification& n) {
                               if (auto strong = weak.lock()) ((*strong).*selector)(n);
                           });
    }

    void removeObserver(Token token);
    void removeObserver(const Object* owner);

    void post(const std::string& name, ObjectPtr object = nullptr, Value userInfo = {});
    void post(const Notification& notification);

    size_t observerCount() const { return m_observers.size(); }

private:
    struct Observer {
        Token token;
        std::string name;
        const Object* sender;
        bool hasOwner;
        std::weak_ptr<Object> owner;
        const Object* ownerAddress;
        std::shared_ptr<Block> block;
    };
    std::vector<Observer> m_observers;
    Token m_nextToken = 1;
};

}  // namespace platform
