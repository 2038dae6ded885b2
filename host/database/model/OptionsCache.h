#pragma once

// OptionsCache: the host's ordered option lists, computed from the context on each request so
// they always reflect its unsaved changes. Refresh rule: nothing is kept between requests --
// each one fetches from the store, so a list shown after another host saved (a pop-up opened,
// a dialog shown) includes that save; a list already on screen changes only when asked again.
//   "activeCustomRecordSetDefinitions"  the active form templates (active == YES)
//   "activeUsers"                       the active users
// Order: by name, comparing ASCII letters without regard to case (other bytes as they are),
// then by primary key, so equal names keep a stable order; no name sorts first.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Status.h"

class DLPObjectContext;
class DLPObject;
class CustomRecordSetDefinition;
class GWUser;

namespace host {

class OptionsCache {
public:
    explicit OptionsCache(DLPObjectContext& context) : m_context(context) {}

    // An unknown key is an error listing the known ones.
    platform::Result<std::vector<std::shared_ptr<DLPObject>>> valueForKey(std::string_view key);

    platform::Result<std::vector<std::shared_ptr<CustomRecordSetDefinition>>>
    activeCustomRecordSetDefinitions();
    platform::Result<std::vector<std::shared_ptr<GWUser>>> activeUsers();

    // The lists' order, for views that show the same objects beside them: whether the object
    // named `a` with key `aKey` comes before the one named `b` with key `bKey`.
    static bool ordersBefore(const std::string& a, int64_t aKey, const std::string& b, int64_t bKey);

private:
    DLPObjectContext& m_context;
};

}  // namespace host
