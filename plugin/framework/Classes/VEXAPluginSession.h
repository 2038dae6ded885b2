#pragma once

// KOPAPluginSession: the process-wide registry of objects that belong to the signed-in user's
// session, open dialogs above all. It holds each registered object strongly, so a caller may
// create a dialog and let go of it; at every sign-off it asks each object to dispose of itself
// (when it can) and empties itself.

#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Object.h"

// The optional part of a session object: end its part in the session (a dialog closes itself).
class KOPAPluginSessionObject {
public:
    virtual ~KOPAPluginSessionObject() = default;
    virtual void dispose() = 0;
};

class KOPAPluginSession : public platform::Object {
public:
    KOPAPluginSession() = default;

    static std::shared_ptr<KOPAPluginSession> sharedPluginSession();
    // Clears the shared registry at every sign-off (registered once per process).
    static void initialize();

    // Registering an object already present changes nothing.
    void registerSessionObject(const platform::ObjectPtr& object);
    // An object not present is ignored.
    void unregisterSessionObject(const platform::Object* object);
    std::vector<platform::ObjectPtr> sessionObjects() const;
    bool containsSessionObject(const platform::Object* object) const {
        return m_sessionObjects.count(object) != 0;
    }
    // Disposes of and removes every object, also those registered while disposing.
    void clear();

private:
    std::unordered_map<const platform::Object*, platform::ObjectPtr> m_sessionObjects;
};
