#pragma once

// DLPObjectContext: a signed-in user's view of the host database, with its unsaved changes.
//
// Changes: created (inserted) objects, changed values and deletions stay pending in the
// context until saveChanges() writes all of them in one transaction. Until then every fetch and
// count sees them: pending inserts that match are included, pending deletions are left out and
// changed objects are judged by their new values. Other contexts see them only after the save.
//
// Identity: one record is one object per context. Objects stay registered for the life of the
// context (the host's contexts live for one sign-in), so a fetched object keeps its identity.
//
// Freshness: records are never served from memory across fetches. Every fetch, count and
// fetch by key asks the store, so changes another context or host saved are seen at the next
// one; an object fetched again takes the stored values unless it has unsaved changes here (its
// own values win until they are saved or it is deleted). A record deleted elsewhere is left
// out of fetches (and fetched by key as null) while its object stays valid for its holders.
// A relation's members are read once, when first asked for, and kept with the owner: members
// others add later are seen by a context opened after their save.
//
// Freshness: records are never served from memory across fetches. Every fetch, count and
// fetch by key asks the store, so changes another context or host saved are seen at the next
// one; an object fetched again takes the stored values unless it has unsaved changes here (its
// own values win until they are saved or it is deleted). A record deleted elsewhere is left
// out of fetches (and fetched by key as null) while its object stays valid for its holders.
// A relation's members are read once, when first asked for, and kept with the owner: members
// others add later are seen by a context opened after their save.
//
// Keys: a new object has a temporary key until it is saved: negative, unique in its context,
// counting down from -1 in the order objects are made. It identifies the object like any key
// (objectForEntityNamed..., qualifiers, owner keys, references such as a user's contactID).
// saveChanges has the store hand out the stored keys inside its transaction -- never handed out
// before, so deleted keys are not reused (see Store.h) -- and, once committed, gives them to
// the objects and to every reference to them. Any number of contexts, programs and hosts can
// thus insert into one database; a failed save changes no key, and the next one hands out
// fresh keys. Stored keys are positive; rows another tool wrote with a key below 1 are not
// fetched.
//
// Storage: the context talks to a host::Store (SQLite file or PostgreSQL server, see Store.h);
// nothing here depends on which.
//
// Ordered relations: a relation is read with one query the first time it is asked for; members
// added with addTo... go to its end. Deleting an owner deletes its members.
//
// Results: operations that touch the file return Result/Status; the failure text names the
// entity, qualifier or record concerned. Nothing here throws for bad input.
//
// Main thread only.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/database/model/DLPObject.h"
#include "host/database/model/MCUserDefaults.h"
#include "host/database/model/OptionsCache.h"
#include "host/database/sqlite/Database.h"
#include "host/database/store/Store.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWUser;

namespace host {
class Qualifier;
}

class DLPObjectContext : public platform::Object {
public:
    using ObjectPtr = std::shared_ptr<DLPObject>;
    using ObjectList = std::vector<ObjectPtr>;

    // Opens a context for the user whose sign-in name (User.loginName) is given; an unknown or
    // inactive user is an error.
    static platform::Result<std::shared_ptr<DLPObjectContext>> signIn(std::shared_ptr<host::Store> store,
                                                                      std::string_view signInName);
    // The same on an open SQLite connection.
    static platform::Result<std::shared_ptr<DLPObjectContext>> signIn(
        std::shared_ptr<host::Database> database, std::string_view signInName);
    // A context signed in as nobody, for maintenance (making the demo database, listing
    // users): user() is null and userDefaults() keeps every value in the global scope.
    static std::shared_ptr<DLPObjectContext> withoutUser(std::shared_ptr<host::Store> store);
    static std::shared_ptr<DLPObjectContext> withoutUser(std::shared_ptr<host::Database> database);
    // Opens the database the address names (a file path or a server URI, see StoreFactory) and
    // signs in.
    static platform::Result<std::shared_ptr<DLPObjectContext>> open(const std::filesystem::path& address,
                                                                    std::string_view signInName);

    // A new object of the entity with a temporary primary key (see Keys above). Inserted
    // (insert true) it is a pending insert of this context; otherwise it waits for
    // insertObject. setupInitialValues gives its attributes the entity's initial values (active
    // templates, flags false...), else no values.
    platform::Result<ObjectPtr> createObjectForEntityNamedInsert(std::string_view entity, bool insert);
    platform::Result<ObjectPtr> createObjectForEntityNamedInsertSetupInitialValues(std::string_view entity,
                                                                                   bool insert,
                                                                                   bool setupInitialValues);
    template <typename T>
    platform::Result<std::shared_ptr<T>> createObject(bool setupInitialValues = false) {
        auto object =
            createObjectForEntityNamedInsertSetupInitialValues(T::kEntityName, true, setupInitialValues);
        if (!object) return object.status();
        return std::static_pointer_cast<T>(*object);
    }
    platform::Status insertObject(const ObjectPtr& object);

    // The objects of the entity that satisfy the qualifier (see Qualifier.h for the language),
    // with $variables taken from the bindings, in ascending primary key order. An empty
    // qualifier matches every object.
    platform::Result<ObjectList> objectsForEntityNamedQualifierLocumBindings(
        std::string_view entity, std::string_view qualifier, const platform::Dictionary& bindings = {});
    platform::Result<int64_t> resultCountForEntityNamedQualifierLocumBindings(
        std::string_view entity, std::string_view qualifier, const platform::Dictionary& bindings = {});
    // The object with that key, or null when there is none (or it is deleted in this context).
    platform::Result<ObjectPtr> objectForEntityNamedWherePrimaryKeyValueIs(std::string_view entity,
                                                                           int64_t key);

    // Deletes the object (and the members of its ordered relations) at the next save. This host
    // keeps no trash, so skipTrash false deletes outright as well.
    platform::Status deleteObjectSkipTrash(const ObjectPtr& object, bool skipTrash);

    // A check made inside the save's transaction for a pending insert, so that two hosts saving
    // at once cannot both pass it: the save takes the store's lock named `lockName` (held until
    // it ends, see Store::lockForSave) and counts the stored records of the object's entity that
    // satisfy the qualifier. If there are any, another writer was first:
    //  - Refuse: the save fails with Status::Code::Conflict and `refusal` as its message; nothing
    //    is written and every change stays pending (the caller decides what to undo).
    //  - Drop: the object's insert is dropped (as if deleted before the save) and the rest is
    //    saved -- for records that must exist once, such as a feature grant.
    // The guard ends when the object is saved or its insert dropped.
    enum class SaveGuardAction { Refuse, Drop };
    platform::Status guardInsert(const ObjectPtr& object, std::string lockName, std::string_view qualifier,
                                 const platform::Dictionary& bindings, SaveGuardAction action,
                                 std::string refusal = {});

    // Writes every pending change in one transaction and gives new objects their stored keys.
    // On failure nothing is written, no key changes, the message names the change that failed
    // (or says the database is busy: another program holds its lock longer than the busy timeout),
    // and all changes stay pending for another try. The status's code tells a refused guard
    // (Conflict) and an unreachable database (Unavailable) from other failures.
    //
    // When the connection broke during the commit and the store could not learn whether it took
    // effect (Code::Unknown), the changes stay pending and the next save first asks the store:
    // if that commit was stored, the objects take their keys from it and only what changed since
    // is written; if not, everything is written afresh. A save is never stored twice.
    platform::Status saveChanges();
    bool hasChanges() const;
    // Grows whenever an object joins the pending changes (or a pending insert is dropped): the
    // host uses it to retry a failed save only once there is something new.
    uint64_t changeGeneration() const { return m_changeGeneration; }
    // One line per pending change, in save order: "insert CustomRecordDefinition 7 {name: "A", ...}".
    std::string pendingChangesDescription() const;

    host::OptionsCache& optionsCache() { return m_optionsCache; }
    MCUserDefaults& userDefaults() { return *m_userDefaults; }
    std::shared_ptr<GWUser> user() const { return m_user; }
    host::Store& store() { return *m_store; }

private:
    friend class DLPObject;
    struct EntityState {
        std::unordered_map<int64_t, ObjectPtr> registered;  // by key, temporary or stored
        std::vector<ObjectPtr> changed;                     // in order of first change
    };
    // Per entity: temporary key -> stored key.
    using KeyMap = std::vector<std::unordered_map<int64_t, int64_t>>;

    explicit DLPObjectContext(std::shared_ptr<host::Store> store);

    platform::Result<const host::EntityDescription*> entityNamed(std::string_view name) const;
    // The compiled qualifier, from a small cache of recent ones: checks repeated with the same
    // text and bindings (permission checks, option lists) are not parsed again.
    platform::Result<std::shared_ptr<const host::Qualifier>> compiledQualifier(
        const host::EntityDescription& entity, std::string_view text, const platform::Dictionary& bindings);
    bool isTemporaryKey(int64_t key) const;
    // For an attribute referring to a new object: the key that object is stored under (none
    // for any other value); an error when the object is not being saved.
    platform::Result<std::optional<int64_t>> storedKeyOfReference(const DLPObject& object, size_t slot,
                                                                  const KeyMap& keys) const;
    // The object for a fetched record: the registered one (taking the stored values unless it
    // has unsaved changes) or a new one.
    ObjectPtr materialize(const host::EntityDescription& entity, const host::StoreRow& row);
    platform::Status writeChanges(KeyMap& keys, std::vector<std::vector<int64_t>>& newKeys);
    void queueChange(DLPObject& object);
    // Counts every change to a pending object too, which the change generation does not: a save
    // whose outcome was learnt late must know whether anything changed since.
    void noteEdit() { ++m_edits; }
    platform::Status loadRelation(DLPObject& owner, size_t relation);
    platform::Status addToRelation(DLPObject& owner, size_t relation, const ObjectPtr& member);
    platform::Status markDeleted(DLPObject& object);

    struct SaveGuard {
        ObjectPtr object;
        std::string lockName;
        std::shared_ptr<const host::Qualifier> qualifier;
        SaveGuardAction action;
        std::string refusal;
    };
    // Per entity, the objects of a save and the state each was saved in.
    using SavedObjects = std::vector<std::vector<std::pair<ObjectPtr, DLPObject::State>>>;
    // A commit whose outcome the store could not learn: what the save would have applied.
    struct UnresolvedSave {
        KeyMap keys;
        std::vector<std::vector<int64_t>> newKeys;
        SavedObjects saved;
        uint64_t generation = 0;
    };
    platform::Status checkGuards();
    platform::Status resolveUnresolvedSave();
    // After a commit: the saved objects become clean (or stay pending when changed since) and
    // take their stored keys.
    void applySaved(const SavedObjects& saved, KeyMap& keys, const std::vector<std::vector<int64_t>>& newKeys,
                    bool changedSince);

    std::shared_ptr<host::Store> m_store;
    std::weak_ptr<DLPObjectContext> m_self;
    std::vector<SaveGuard> m_guards;
    std::optional<UnresolvedSave> m_unresolvedSave;
    std::vector<EntityState> m_entities;
    int64_t m_nextTemporaryKey = -1;
    KeyMap m_storedKeys;  // of the objects saved so far
    uint64_t m_changeGeneration = 0;
    uint64_t m_edits = 0;
    std::shared_ptr<GWUser> m_user;
    struct RecentQualifier;
    std::vector<std::shared_ptr<RecentQualifier>> m_recentQualifiers;  // most recently used first
    host::OptionsCache m_optionsCache{*this};
    std::shared_ptr<MCUserDefaults> m_userDefaults;
};
