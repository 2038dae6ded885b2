#include "host/database/model/DLPObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWUser.h"
#include "host/database/model/Qualifier.h"
#include "host/database/sqlite/SqliteStore.h"
#include "host/database/store/StoreFactory.h"

using host::EntityDescription;
using platform::Result;
using platform::Status;
using platform::Value;

namespace {

// Before a map of objects by key takes one more: it grows four times at a time, since a rehash
// touches every object in it, and copying what was just read doubles a map at once.
template <typename Map>
void makeRoomForOneMore(Map& map) {
    if (float(map.size() + 1) > float(map.bucket_count()) * map.max_load_factor())
        map.reserve(std::max<size_t>(64, map.size() * 4));
}

// The slots of an entity's attributes that hold other objects' keys (the only ones a save
// rewrites).
void referenceSlots(const EntityDescription& entity, std::vector<size_t>& slots) {
    slots.clear();
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot)
        if (entity.attributes[slot].referenced) slots.push_back(slot);
}

// The stored key a reference to a new object was last rewritten to: the copies a save writes
// mostly refer to the same few new owners, so most lookups are the last one again.
struct LastReference {
    const EntityDescription* entity = nullptr;
    int64_t temporary = 0, stored = 0;
};

// `lookup()` (storedKeyOfReference for the value of the attribute), unless it is the last one.
template <typename Lookup>
Result<std::optional<int64_t>> rememberedStoredKey(LastReference& last,
                                                   const host::AttributeDescription& attribute,
                                                   const Value& value, Lookup&& lookup) {
    if (last.entity && last.entity == attribute.referenced && value.isInteger() &&
        value.asInteger() == last.temporary)
        return std::optional<int64_t>(last.stored);
    auto found = lookup();
    if (found && *found) last = {attribute.referenced, value.asInteger(), **found};
    return found;
}

bool holdsKey(const Value& value, int64_t key) {
    return value.isInteger() && value.asInteger() == key;
}

// Stored keys first, in order; then new objects in the order they were made (their temporary
// keys count down from -1), which is the order their stored keys will have.
bool keyOrder(const DLPObjectContext::ObjectPtr& a, const DLPObjectContext::ObjectPtr& b) {
    int64_t x = a->primaryKeyValue(), y = b->primaryKeyValue();
    if ((x < 0) != (y < 0)) return y < 0;
    return x < 0 ? x > y : x < y;
}

}  // namespace

DLPObjectContext::DLPObjectContext(std::shared_ptr<host::Store> store)
    : m_store(std::move(store)),
      m_entities(host::EntityCatalog::shared().entities().size()),
      m_storedKeys(m_entities.size()) {}

std::shared_ptr<DLPObjectContext> DLPObjectContext::withoutUser(std::shared_ptr<host::Store> store) {
    std::shared_ptr<DLPObjectContext> context(new DLPObjectContext(store));
    context->m_self = context;
    context->m_userDefaults = std::make_shared<MCUserDefaults>(std::move(store), 0);
    return context;
}

std::shared_ptr<DLPObjectContext> DLPObjectContext::withoutUser(std::shared_ptr<host::Database> database) {
    return withoutUser(std::make_shared<host::SqliteStore>(std::move(database)));
}

Result<std::shared_ptr<DLPObjectContext>> DLPObjectContext::signIn(std::shared_ptr<host::Database> database,
                                                                   std::string_view signInName) {
    return signIn(std::make_shared<host::SqliteStore>(std::move(database)), signInName);
}

Result<std::shared_ptr<DLPObjectContext>> DLPObjectContext::signIn(std::shared_ptr<host::Store> store,
                                                                   std::string_view signInName) {
    auto context = withoutUser(std::move(store));
    auto users = context->objectsForEntityNamedQualifierLocumBindings(
        GWUser::kEntityName, "loginName == $name", {{"name", Value(signInName)}});
    if (!users) return users.status().withContext("signing in");
    const std::string file = context->m_store->displayName();
    if (users->empty())
        return Status::error(fmt::format("signing in: no user signs in as \"{}\" in {}", signInName, file));
    auto user = std::static_pointer_cast<GWUser>(users->front());
    if (user->active() != Value(true))
        return Status::error(
            fmt::format("signing in: the user \"{}\" is not active in {}", signInName, file));
    context->m_user = user;
    context->m_userDefaults = std::make_shared<MCUserDefaults>(context->m_store, user->primaryKeyValue());
    return context;
}

Result<std::shared_ptr<DLPObjectContext>> DLPObjectContext::open(const std::filesystem::path& address,
                                                                 std::string_view signInName) {
    auto store = host::StoreFactory::open(address.string());
    if (!store) return store.status();
    return signIn(std::move(*store), signInName);
}

Result<const EntityDescription*> DLPObjectContext::entityNamed(std::string_view name) const {
    const auto& catalog = host::EntityCatalog::shared();
    if (const auto* entity = catalog.find(name)) return entity;
    return Status::error(
        fmt::format("the host database has no entity \"{}\" (it has: {})", name, catalog.entityNames()));
}

bool DLPObjectContext::isTemporaryKey(int64_t key) const {
    return key < 0 && key > m_nextTemporaryKey;
}

Result<DLPObjectContext::ObjectPtr> DLPObjectContext::createObjectForEntityNamedInsert(
    std::string_view entity, bool insert) {
    return createObjectForEntityNamedInsertSetupInitialValues(entity, insert, false);
}

Result<DLPObjectContext::ObjectPtr> DLPObjectContext::createObjectForEntityNamedInsertSetupInitialValues(
    std::string_view entityName, bool insert, bool setupInitialValues) {
    auto entity = entityNamed(entityName);
    if (!entity) return entity.status();
    const EntityDescription& description = **entity;

    host::ObjectToken token;
    ObjectPtr object = description.make ? description.make(token) : std::make_shared<DLPObject>(token);
    object->m_entity = &description;
    object->m_key = m_nextTemporaryKey--;
    object->m_context = m_self;
    object->m_values.resize(description.attributes.size());
    if (setupInitialValues)
        for (size_t slot = 0; slot < description.attributes.size(); ++slot)
            object->m_values[slot] = description.attributes[slot].initialValue;
    object->m_relations.resize(description.toMany.size());
    for (auto& relation : object->m_relations) relation.loaded = true;  // nothing stored yet
    if (insert) {
        if (auto status = insertObject(object); !status) return status;
    }
    return object;
}

Status DLPObjectContext::insertObject(const ObjectPtr& object) {
    if (!object) return Status::error("inserting: no object given");
    if (object->m_context.lock().get() != this)
        return Status::error(
            fmt::format("inserting {}: it was made by another object context", object->description()));
    if (object->m_state != DLPObject::State::NotInserted) return Status::ok();
    object->m_state = DLPObject::State::Inserted;
    auto& registered = m_entities[object->m_entity->index].registered;
    makeRoomForOneMore(registered);
    registered.emplace(object->m_key, object);
    queueChange(*object);
    return Status::ok();
}

void DLPObjectContext::queueChange(DLPObject& object) {
    ++m_changeGeneration;
    noteEdit();
    if (object.m_queued) return;
    object.m_queued = true;
    m_entities[object.m_entity->index].changed.push_back(
        std::static_pointer_cast<DLPObject>(object.shared_from_this()));
}

namespace {

// Runs its function when the scope ends, however it ends.
template <typename Function>
class OnExit {
public:
    explicit OnExit(Function function) : m_function(std::move(function)) {}
    ~OnExit() { m_function(); }
    OnExit(const OnExit&) = delete;
    OnExit& operator=(const OnExit&) = delete;

private:
    Function m_function;
};

// The attribute value of a column: texts are moved rather than copied once more.
Value attributeValueOfColumn(host::AttributeType type, host::StoredValue stored) {
    if (stored.kind == host::StoredValue::Kind::Text) return Value(std::move(stored.bytes));
    // Records read together often hold the same small blob (a pop-up's options in every copy of
    // a field): the last one is parsed once and copied after. Blobs read the same whatever the
    // attribute's type.
    constexpr size_t kRememberedBlob = 256;
    if (stored.kind == host::StoredValue::Kind::Blob && stored.bytes.size() <= kRememberedBlob) {
        thread_local std::optional<std::pair<std::string, Value>> last;
        if (!last || last->first != stored.bytes) {
            Value value = host::attributeValueFromStored(type, stored);
            last.emplace(std::move(stored.bytes), std::move(value));
        }
        return last->second;
    }
    return host::attributeValueFromStored(type, stored);
}

}  // namespace

DLPObjectContext::ObjectPtr DLPObjectContext::materialize(const EntityDescription& entity,
                                                          const host::StoreRow& row) {
    int64_t key = row.key();
    auto& registered = m_entities[entity.index].registered;
    makeRoomForOneMore(registered);
    // One lookup for known and new objects alike.
    auto [found, added] = registered.try_emplace(key);
    if (!added) {
        // Known: the stored values replace the ones read before, unless this context changed it.
        auto& object = *found->second;
        if (object.m_state == DLPObject::State::Clean)
            for (size_t slot = 0; slot < entity.attributes.size(); ++slot)
                object.m_values[slot] = attributeValueOfColumn(entity.attributes[slot].type, row.value(slot));
        return found->second;
    }
    try {
        host::ObjectToken token;
        ObjectPtr object = entity.make ? entity.make(token) : std::make_shared<DLPObject>(token);
        object->m_entity = &entity;
        object->m_key = key;
        object->m_context = m_self;
        object->m_state = DLPObject::State::Clean;
        object->m_values.reserve(entity.attributes.size());
        for (size_t slot = 0; slot < entity.attributes.size(); ++slot)
            object->m_values.push_back(attributeValueOfColumn(entity.attributes[slot].type, row.value(slot)));
        object->m_relations.resize(entity.toMany.size());
        found->second = object;
        return object;
    } catch (...) {
        registered.erase(found);  // no empty entry stays behind
        throw;
    }
}

struct DLPObjectContext::RecentQualifier {
    size_t entity;
    std::string text;
    platform::Dictionary bindings;
    std::shared_ptr<const host::Qualifier> qualifier;
};

namespace {

constexpr size_t kRecentQualifiers = 16;

// Equal values of the same types all the way down, so a cached compilation holds exactly the
// parameters a new one would (an integer and an equal real are not the same binding).
bool sameBinding(const Value& a, const Value& b) {
    if (a.type() != b.type() || a.isLargeInteger() != b.isLargeInteger()) return false;
    if (a.isArray()) {
        const auto& x = a.asArray();
        const auto& y = b.asArray();
        if (x.size() != y.size()) return false;
        for (size_t i = 0; i < x.size(); ++i)
            if (!sameBinding(x[i], y[i])) return false;
        return true;
    }
    return a == b;
}

bool sameBindings(const platform::Dictionary& a, const platform::Dictionary& b) {
    if (a.size() != b.size()) return false;
    for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y)
        if (x->first != y->first || !sameBinding(x->second, y->second)) return false;
    return true;
}

}  // namespace

Result<std::shared_ptr<const host::Qualifier>> DLPObjectContext::compiledQualifier(
    const EntityDescription& entity, std::string_view text, const platform::Dictionary& bindings) {
    for (size_t i = 0; i < m_recentQualifiers.size(); ++i) {
        const auto& recent = *m_recentQualifiers[i];
        if (recent.entity != entity.index || recent.text != text || !sameBindings(recent.bindings, bindings))
            continue;
        std::rotate(m_recentQualifiers.begin(), m_recentQualifiers.begin() + static_cast<ptrdiff_t>(i),
                    m_recentQualifiers.begin() + static_cast<ptrdiff_t>(i) + 1);
        return m_recentQualifiers.front()->qualifier;
    }
    auto compiled = host::Qualifier::compile(entity, text, bindings, m_store->dialect());
    if (!compiled) return compiled.status();
    auto recent = std::make_shared<RecentQualifier>(
        RecentQualifier{entity.index, std::string(text), bindings,
                        std::make_shared<const host::Qualifier>(std::move(*compiled))});
    if (m_recentQualifiers.size() == kRecentQualifiers) m_recentQualifiers.pop_back();
    m_recentQualifiers.insert(m_recentQualifiers.begin(), recent);
    return recent->qualifier;
}

Result<DLPObjectContext::ObjectList> DLPObjectContext::objectsForEntityNamedQualifierLocumBindings(
    std::string_view entityName, std::string_view qualifierText, const platform::Dictionary& bindings) {
    auto entity = entityNamed(entityName);
    if (!entity) return entity.status();
    const EntityDescription& description = **entity;
    auto qualifier = compiledQualifier(description, qualifierText, bindings);
    if (!qualifier) return qualifier.status();

    auto& state = m_entities[description.index];
    ObjectList objects;
    auto fetched = m_store->fetch(description, **qualifier, [&](const host::StoreRow& row) {
        auto object = materialize(description, row);
        // Changed objects are judged below by their unsaved values.
        if (object->m_state == DLPObject::State::Clean) objects.push_back(std::move(object));
    });
    if (!fetched)
        return fetched.withContext(fmt::format("fetching {} where {}", description.name, qualifierText));

    bool pendingMatched = false;
    for (const auto& object : state.changed) {
        auto s = object->m_state;
        if ((s == DLPObject::State::Inserted || s == DLPObject::State::Updated) &&
            (*qualifier)->matches(object->m_values)) {
            objects.push_back(object);
            pendingMatched = true;
        }
    }
    if (pendingMatched) std::sort(objects.begin(), objects.end(), keyOrder);
    return objects;
}

Result<int64_t> DLPObjectContext::resultCountForEntityNamedQualifierLocumBindings(
    std::string_view entityName, std::string_view qualifierText, const platform::Dictionary& bindings) {
    auto entity = entityNamed(entityName);
    if (!entity) return entity.status();
    const EntityDescription& description = **entity;
    auto qualifier = compiledQualifier(description, qualifierText, bindings);
    if (!qualifier) return qualifier.status();
    auto& state = m_entities[description.index];
    const bool pending = !state.changed.empty();

    // Without unsaved changes the store's count is the answer; otherwise records of changed
    // objects are counted by their unsaved values instead.
    const auto failed = [&](const Status& status) {
        return status.withContext(fmt::format("counting {} where {}", description.name, qualifierText));
    };
    int64_t count = 0;
    if (!pending) {
        auto counted = m_store->count(description, **qualifier);
        if (!counted) return failed(counted.status());
        count = *counted;
    } else {
        auto visited = m_store->fetchKeys(description, **qualifier, [&](int64_t key) {
            auto found = state.registered.find(key);
            if (found == state.registered.end() || found->second->m_state == DLPObject::State::Clean) ++count;
        });
        if (!visited) return failed(visited);
    }
    for (const auto& object : state.changed) {
        auto s = object->m_state;
        if ((s == DLPObject::State::Inserted || s == DLPObject::State::Updated) &&
            (*qualifier)->matches(object->m_values))
            ++count;
    }
    return count;
}

Result<DLPObjectContext::ObjectPtr> DLPObjectContext::objectForEntityNamedWherePrimaryKeyValueIs(
    std::string_view entityName, int64_t key) {
    auto entity = entityNamed(entityName);
    if (!entity) return entity.status();
    const EntityDescription& description = **entity;
    auto& state = m_entities[description.index];
    if (auto found = state.registered.find(key); found != state.registered.end()) {
        // Unsaved changes answer from memory; a clean object is read again (see Freshness).
        if (found->second->isDeleted()) return ObjectPtr();
        if (found->second->m_state != DLPObject::State::Clean) return found->second;
    }
    if (key <= 0) return ObjectPtr();  // new objects are all registered; stored keys are positive
    ObjectPtr object;
    auto exists = m_store->fetchByKey(
        description, key, [&](const host::StoreRow& row) { object = materialize(description, row); });
    if (!exists) return exists.status().withContext(fmt::format("reading {} {}", description.name, key));
    return object;
}
Status DLPObjectContext::loadRelation(DLPObject& owner, size_t relation) {
    auto& contents = owner.m_relations[relation];
    if (contents.loaded) return Status::ok();
    const EntityDescription& target = *owner.m_entity->targets[relation];
    const auto& description = owner.m_entity->toMany[relation];
    auto& registered = m_entities[target.index].registered;
    std::vector<ObjectPtr> members;
    auto read = m_store->fetchMembers(*owner.m_entity, relation, owner.m_key, [&](const host::StoreRow& row) {
        const size_t before = registered.size();
        auto member = materialize(target, row);
        const bool known = registered.size() == before;
        // A known object belongs here only if it still points at this owner in memory.
        if (!known || (!member->isDeleted() && holdsKey(member->m_values[target.ownerKeySlot], owner.m_key)))
            members.push_back(std::move(member));
    });
    if (!read)
        return read.withContext(fmt::format("reading {} of {}", description.name, owner.description()));
    contents.members = std::move(members);
    contents.loaded = true;
    return Status::ok();
}

Status DLPObjectContext::addToRelation(DLPObject& owner, size_t relation, const ObjectPtr& member) {
    const auto& description = owner.m_entity->toMany[relation];
    auto fail = [&](const std::string& why) {
        return Status::error(
            fmt::format("adding to {} of {}: {}", description.name, owner.description(), why));
    };
    if (!member) return fail("no object given");
    const EntityDescription& target = *owner.m_entity->targets[relation];
    if (member->m_entity != &target)
        return fail(fmt::format("it takes {} objects, not {}", target.name, member->entityName()));
    if (member->m_context.lock().get() != this || owner.m_context.lock().get() != this)
        return fail(fmt::format("{} belongs to another object context", member->description()));
    if (owner.m_state == DLPObject::State::NotInserted || member->m_state == DLPObject::State::NotInserted)
        return fail("insert both objects into the context first");
    if (owner.isDeleted() || member->isDeleted()) return fail("a deleted object cannot be related");
    if (auto status = loadRelation(owner, relation); !status) return status;

    Value& ownerKey = member->m_values[target.ownerKeySlot];
    if (holdsKey(ownerKey, owner.m_key)) return Status::ok();  // already a member
    if (ownerKey.isInteger()) {
        // Moving from another owner: take it out of that owner's list if it was read.
        auto& owners = m_entities[owner.m_entity->index].registered;
        if (auto previous = owners.find(ownerKey.asInteger()); previous != owners.end()) {
            auto& list = previous->second->m_relations[relation];
            list.members.erase(std::remove(list.members.begin(), list.members.end(), member),
                               list.members.end());
        }
    }
    auto& contents = owner.m_relations[relation];
    int64_t position = 0;
    if (!contents.members.empty()) {
        const Value& last = contents.members.back()->m_values[target.positionSlot];
        position = last.isInteger() ? last.asInteger() + 1 : int64_t(contents.members.size());
    }
    ownerKey = Value(owner.m_key);
    member->m_values[target.positionSlot] = Value(position);
    member->markUpdated();
    contents.members.push_back(member);
    return Status::ok();
}

Status DLPObjectContext::deleteObjectSkipTrash(const ObjectPtr& object, bool /*skipTrash*/) {
    if (!object) return Status::error("deleting: no object given");
    if (object->m_context.lock().get() != this)
        return Status::error(
            fmt::format("deleting {}: it belongs to another object context", object->description()));
    if (object->m_state == DLPObject::State::NotInserted)
        return Status::error(fmt::format("deleting {}: it was never inserted", object->description()));
    return markDeleted(*object);
}

Status DLPObjectContext::markDeleted(DLPObject& object) {
    if (object.isDeleted()) return Status::ok();
    const EntityDescription& entity = *object.m_entity;
    // Read the members first so a failed read leaves the object as it was.
    for (size_t r = 0; r < entity.toMany.size(); ++r)
        if (auto status = loadRelation(object, r); !status)
            return status.withContext("deleting " + object.description());

    auto& state = m_entities[entity.index];
    if (object.m_state == DLPObject::State::Inserted) {
        object.m_state = DLPObject::State::Discarded;  // never stored: nothing to write
        ++m_changeGeneration;
        noteEdit();
        state.registered.erase(object.m_key);
    } else {
        object.m_state = DLPObject::State::Deleted;
        queueChange(object);
    }
    for (size_t r = 0; r < entity.toMany.size(); ++r) {
        auto members = std::move(object.m_relations[r].members);
        object.m_relations[r].members.clear();
        for (auto& member : members)
            if (auto status = markDeleted(*member); !status) return status;
    }
    if (entity.owner && object.m_values[entity.ownerKeySlot].isInteger()) {
        auto& owners = m_entities[entity.owner->index].registered;
        auto found = owners.find(object.m_values[entity.ownerKeySlot].asInteger());
        if (found != owners.end() && !found->second->isDeleted()) {
            auto& list = found->second->m_relations[entity.ownerRelation].members;
            list.erase(std::remove_if(list.begin(), list.end(),
                                      [&](const ObjectPtr& m) { return m.get() == &object; }),
                       list.end());
        }
    }
    return Status::ok();
}

bool DLPObjectContext::hasChanges() const {
    for (const auto& state : m_entities)
        for (const auto& object : state.changed)
            if (object->m_state != DLPObject::State::Discarded) return true;
    return false;
}

Result<std::optional<int64_t>> DLPObjectContext::storedKeyOfReference(const DLPObject& object, size_t slot,
                                                                      const KeyMap& keys) const {
    const auto& attribute = object.m_entity->attributes[slot];
    if (!attribute.referenced) return std::optional<int64_t>();
    const Value& value = object.m_values[slot];
    if (!value.isInteger() || !isTemporaryKey(value.asInteger())) return std::optional<int64_t>();
    for (const KeyMap* map : {&keys, &m_storedKeys}) {
        const auto& stored = (*map)[attribute.referenced->index];
        if (auto found = stored.find(value.asInteger()); found != stored.end())
            return std::optional<int64_t>(found->second);
    }
    return Status::error(
        fmt::format("{}.{} refers to a new {} that is not inserted (or was deleted before it was "
                    "saved); set it to an inserted or saved object",
                    object.description(), attribute.name, attribute.referenced->name));
}

Status DLPObjectContext::guardInsert(const ObjectPtr& object, std::string lockName,
                                     std::string_view qualifier, const platform::Dictionary& bindings,
                                     SaveGuardAction action, std::string refusal) {
    if (!object || object->m_context.lock().get() != this)
        return Status::error("guarding an insert: the object does not belong to this context");
    if (object->m_state != DLPObject::State::Inserted)
        return Status::error(fmt::format("guarding {}: it is not a pending insert", object->description()));
    auto compiled = compiledQualifier(*object->m_entity, qualifier, bindings);
    if (!compiled) return compiled.status();
    m_guards.push_back({object, std::move(lockName), *compiled, action, std::move(refusal)});
    return Status::ok();
}

Status DLPObjectContext::checkGuards() {
    std::erase_if(m_guards,
                  [](const SaveGuard& guard) { return guard.object->m_state != DLPObject::State::Inserted; });
    // Locks in one order in every host, so two saves never wait for each other in a circle.
    std::vector<const SaveGuard*> ordered;
    for (const auto& guard : m_guards) ordered.push_back(&guard);
    std::sort(ordered.begin(), ordered.end(),
              [](const SaveGuard* a, const SaveGuard* b) { return a->lockName < b->lockName; });
    for (size_t i = 0; i < ordered.size(); ++i) {
        const SaveGuard& guard = *ordered[i];
        if (i == 0 || ordered[i - 1]->lockName != guard.lockName)
            if (auto status = m_store->lockForSave(guard.lockName); !status) return status;
        // Only stored records count: this context's own pending changes are not written yet.
        auto stored = m_store->count(*guard.object->m_entity, *guard.qualifier);
        if (!stored) return stored.status();
        if (*stored == 0) continue;
        if (guard.action == SaveGuardAction::Refuse)
            return Status::error(Status::Code::Conflict,
                                 guard.refusal.empty() ? fmt::format("{} is already stored by another writer",
                                                                     guard.object->description())
                                                       : guard.refusal);
        if (auto status = markDeleted(*guard.object); !status) return status;
    }
    return Status::ok();
}

Status DLPObjectContext::resolveUnresolvedSave() {
    auto stored = m_store->lastSaveOutcome();
    if (!stored) return stored.status();
    UnresolvedSave unresolved = std::move(*m_unresolvedSave);
    m_unresolvedSave.reset();
    // Not stored: every change is still pending and is written afresh with new keys.
    if (!*stored) return Status::ok();
    applySaved(unresolved.saved, unresolved.keys, unresolved.newKeys, unresolved.generation != m_edits);
    return Status::ok();
}

Status DLPObjectContext::saveChanges() {
    const std::string context = "saving changes to " + m_store->displayName();
    if (m_unresolvedSave)
        if (auto status = resolveUnresolvedSave(); !status) return status.withContext(context);
    if (!hasChanges()) return Status::ok();
    if (m_store->isReadOnly()) return Status::error(context + ": the database was opened read-only");
    if (auto status = m_store->beginSave(); !status) return status.withContext(context);

    // Stored keys for new objects, in the order the objects were made. Only applied to the
    // objects once the commit succeeded, so a failed save leaves them as they were and the next
    // one hands out fresh keys.
    const auto& entities = host::EntityCatalog::shared().entities();
    KeyMap keys(entities.size());
    std::vector<std::vector<int64_t>> newKeys(entities.size());
    Status status = checkGuards();
    if (status) status = writeChanges(keys, newKeys);
    if (status) status = m_store->commitSave();
    SavedObjects saved(entities.size());
    for (size_t e = 0; e < entities.size(); ++e) {
        saved[e].reserve(m_entities[e].changed.size());
        for (const auto& object : m_entities[e].changed) saved[e].emplace_back(object, object->m_state);
    }
    if (!status) {
        if (status.code() == Status::Code::Unknown)
            m_unresolvedSave = UnresolvedSave{std::move(keys), std::move(newKeys), std::move(saved), m_edits};
        m_store->abandonSave();
        return status.withContext(context);
    }
    applySaved(saved, keys, newKeys, false);
    return Status::ok();
}

void DLPObjectContext::applySaved(const SavedObjects& saved, KeyMap& keys,
                                  const std::vector<std::vector<int64_t>>& newKeys, bool changedSince) {
    // The pending changes become the saved state, and new objects (and every reference to them)
    // take their stored keys, so holders of the objects see the keys the database uses. Objects
    // changed again since the save (only after a commit whose outcome came later) stay pending:
    // their values are written once more, as an update, or the stored record deleted.
    const auto& entities = host::EntityCatalog::shared().entities();
    std::vector<size_t> references;
    LastReference last;
    for (size_t e = 0; e < entities.size(); ++e) {
        auto& state = m_entities[e];
        size_t nextKey = 0;
        referenceSlots(entities[e], references);
        for (const auto& entry : saved[e]) {
            // Named, not a structured binding: lambdas below capture it, which clang refuses.
            const ObjectPtr& object = entry.first;
            const DLPObject::State savedState = entry.second;
            const DLPObject::State now = object->m_state;
            if (savedState == DLPObject::State::Inserted || savedState == DLPObject::State::Updated) {
                if (now == DLPObject::State::Inserted || now == DLPObject::State::Updated)
                    for (size_t slot : references)
                        if (auto storedKey = rememberedStoredKey(
                                last, entities[e].attributes[slot], object->m_values[slot],
                                [&] { return storedKeyOfReference(*object, slot, keys); });
                            storedKey && *storedKey)
                            object->m_values[slot] = Value(**storedKey);
            }
            switch (savedState) {
                case DLPObject::State::Inserted: {
                    const int64_t storedKey = newKeys[e][nextKey++];
                    if (now == DLPObject::State::Discarded) {
                        // Deleted here after a save that did store it: the record goes again.
                        object->m_key = storedKey;
                        object->m_state = DLPObject::State::Deleted;
                        state.registered.emplace(storedKey, object);
                        break;
                    }
                    auto node = state.registered.extract(object->m_key);
                    object->m_key = node.key() = storedKey;
                    state.registered.insert(std::move(node));
                    object->m_state = changedSince ? DLPObject::State::Updated : DLPObject::State::Clean;
                    break;
                }
                case DLPObject::State::Updated:
                    if (now == DLPObject::State::Updated && !changedSince)
                        object->m_state = DLPObject::State::Clean;
                    break;
                case DLPObject::State::Deleted:
                    object->m_state = DLPObject::State::Discarded;
                    state.registered.erase(object->m_key);
                    break;
                default:
                    break;
            }
        }
        // What is left to write stays queued, in its order.
        std::erase_if(state.changed, [](const ObjectPtr& object) {
            const bool pending = object->m_state == DLPObject::State::Inserted ||
                                 object->m_state == DLPObject::State::Updated ||
                                 object->m_state == DLPObject::State::Deleted;
            object->m_queued = pending;
            return !pending;
        });
        // Kept for objects still to be inserted that were given a key before this save.
        m_storedKeys[e].merge(keys[e]);
    }
    std::erase_if(m_guards,
                  [](const SaveGuard& guard) { return guard.object->m_state != DLPObject::State::Inserted; });
}

Status DLPObjectContext::writeChanges(KeyMap& keys, std::vector<std::vector<int64_t>>& newKeys) {
    const auto& entities = host::EntityCatalog::shared().entities();
    // Keys first, for every entity, so references between new objects of any entities can be
    // written with the keys their targets will have. Entities that attributes refer to also get
    // a map from temporary to stored keys, to rewrite those references.
    std::vector<bool> referenced(entities.size(), false);
    for (const auto& entity : entities)
        for (const auto& attribute : entity.attributes)
            if (attribute.referenced) referenced[attribute.referenced->index] = true;
    for (size_t e = 0; e < entities.size(); ++e) {
        size_t inserts = 0;
        for (const auto& object : m_entities[e].changed)
            if (object->m_state == DLPObject::State::Inserted) ++inserts;
        if (inserts == 0) continue;
        auto allocated = m_store->allocateKeys(entities[e], inserts);
        if (!allocated) return allocated.status();
        if (allocated->size() != inserts)
            return Status::error(fmt::format("the database handed out {} keys for {} new {} objects",
                                             allocated->size(), inserts, entities[e].name));
        newKeys[e] = std::move(*allocated);
        if (!referenced[e]) continue;
        size_t next = 0;
        keys[e].reserve(inserts);
        for (const auto& object : m_entities[e].changed)
            if (object->m_state == DLPObject::State::Inserted)
                keys[e].emplace(object->m_key, newKeys[e][next++]);
    }

    std::vector<std::pair<size_t, Value>> swapped;
    std::vector<size_t> references;
    LastReference last;
    for (size_t e = 0; e < entities.size(); ++e) {
        const EntityDescription& entity = entities[e];
        size_t nextKey = 0;
        referenceSlots(entity, references);
        for (const auto& object : m_entities[e].changed) {
            const auto objectState = object->m_state;
            if (objectState != DLPObject::State::Inserted && objectState != DLPObject::State::Updated &&
                objectState != DLPObject::State::Deleted)
                continue;
            // References to new objects are written with their stored keys, put in the object's
            // own values for the write and taken out again after it (no values are copied).
            const char* verb = objectState == DLPObject::State::Inserted  ? "inserting"
                               : objectState == DLPObject::State::Updated ? "updating"
                                                                          : "deleting";
            auto failed = [&](const Status& status) {
                return Status::error(status.code(),
                                     fmt::format("{} {}: {}", verb, object->description(), status.message()));
            };
            Status status;
            swapped.clear();
            const OnExit restore([&] {
                for (auto& [slot, value] : swapped) object->m_values[slot] = std::move(value);
            });
            if (objectState != DLPObject::State::Deleted) {
                for (size_t slot : references) {
                    auto storedKey =
                        rememberedStoredKey(last, entity.attributes[slot], object->m_values[slot],
                                            [&] { return storedKeyOfReference(*object, slot, keys); });
                    if (!storedKey) {
                        status = failed(storedKey.status());
                        break;
                    }
                    if (!*storedKey) continue;
                    swapped.emplace_back(slot, std::exchange(object->m_values[slot], Value(**storedKey)));
                }
            }
            if (status) {
                if (objectState == DLPObject::State::Inserted)
                    status = m_store->insertRecord(entity, newKeys[e][nextKey++], object->m_values);
                else if (objectState == DLPObject::State::Updated)
                    status = m_store->updateRecord(entity, object->m_key, object->m_values);
                else
                    status = m_store->deleteRecord(entity, object->m_key);
                if (!status) status = failed(status);
            }
            if (!status) return status;
        }
    }
    return Status::ok();
}

std::string DLPObjectContext::pendingChangesDescription() const {
    std::string text;
    for (const auto& state : m_entities) {
        for (const auto& object : state.changed) {
            const char* verb = nullptr;
            switch (object->m_state) {
                case DLPObject::State::Inserted:
                    verb = "insert";
                    break;
                case DLPObject::State::Updated:
                    verb = "update";
                    break;
                case DLPObject::State::Deleted:
                    verb = "delete";
                    break;
                default:
                    continue;
            }
            text += fmt::format("{} {} {}", verb, object->entityName(), object->m_key);
            if (object->m_state != DLPObject::State::Deleted) {
                std::string values;
                for (size_t slot = 0; slot < object->m_values.size(); ++slot)
                    values +=
                        fmt::format("{}{}: {}", values.empty() ? "" : ", ",
                                    object->m_entity->attributes[slot].name, object->m_values[slot].toJson());
                text += " {" + values + "}";
            }
            text += "\n";
        }
    }
    return text;
}
