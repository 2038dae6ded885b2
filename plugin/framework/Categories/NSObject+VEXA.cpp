#include <mutex>
#include <unordered_map>

#include "plugin/framework/Categories/NSObject+VEXA.h"
#include "plugin/framework/Classes/VEXALog.h"

namespace {

struct Retained {
    std::shared_ptr<platform::Object> object;
    size_t count = 0;
};

struct RetainTable {
    std::mutex mutex;
    std::unordered_map<const platform::Object*, Retained> entries;
};

RetainTable& table() {
    // Never destroyed: objects still retained at exit stay alive, as leaked references would.
    static auto* shared = new RetainTable;
    return *shared;
}

}  // namespace

std::shared_ptr<platform::Object> kopaRetain(platform::Object& object) {
    std::shared_ptr<platform::Object> strong = object.shared_from_this();
    RetainTable& retained = table();
    std::lock_guard lock(retained.mutex);
    Retained& entry = retained.entries[&object];
    if (!entry.object) entry.object = strong;
    ++entry.count;
    return strong;
}

bool kopaRelease(const platform::Object& object) {
    std::shared_ptr<platform::Object> last;  // destroyed after the lock is released
    {
        RetainTable& retained = table();
        std::lock_guard lock(retained.mutex);
        auto it = retained.entries.find(&object);
        if (it != retained.entries.end()) {
            if (--it->second.count == 0) {
                last = std::move(it->second.object);
                retained.entries.erase(it);
            }
            return true;
        }
    }
    KOPA_LOG("kopaRelease without a matching kopaRetain on {}; ignored", object.description());
    return false;
}

size_t kopaRetainedCount(const platform::Object& object) {
    RetainTable& retained = table();
    std::lock_guard lock(retained.mutex);
    auto it = retained.entries.find(&object);
    return it == retained.entries.end() ? 0 : it->second.count;
}
