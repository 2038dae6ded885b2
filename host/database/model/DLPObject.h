#pragma once

// DLPObject: one record of the host database as seen through one object context.
//
// Identity: an object is created by its context (createObject..., fetches, relation reads) and
// the context keeps one object per record, so two fetches of a record give the same object.
// primaryKeyValue() of a new object is a temporary (negative) key until its context saves it,
// then the key it is stored under (see DLPObjectContext).
//
// Values: attribute values are platform::Values, stored as they are given (see
// EntityDescription.h for what each attribute type accepts); no value is null. Changing a
// value of a saved object makes it an unsaved change of its context until saveChanges.
//
// The context is held weakly: an object outlives its context only as a detached record whose
// objectContext() is null.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/database/model/EntityDescription.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class DLPObjectContext;

// A typed entity's accessors for one attribute, named as the attribute is in the entity
// catalog: `name()` gives the stored value, `setName(value)` sets it. Written once here so that
// every typed entity behaves alike; a test calls each on every entity. Each accessor finds its
// attribute's place once (one class is one entity).
#define DLP_ATTRIBUTE(getter, Setter)                \
    platform::Value getter() const {                 \
        static const size_t slot = slotOf(#getter);  \
        return attributeAt(slot);                    \
    }                                                \
    void set##Setter(const platform::Value& value) { \
        static const size_t slot = slotOf(#getter);  \
        setAttributeAt(slot, value);                 \
    }
// Only the getter: an attribute the context keeps (an owner's key, a position).
#define DLP_READONLY_ATTRIBUTE(getter)              \
    platform::Value getter() const {                \
        static const size_t slot = slotOf(#getter); \
        return attributeAt(slot);                   \
    }

namespace host {
// Only the object context makes objects; the token keeps the constructors out of other hands
// while letting std::make_shared reach them.
struct ObjectToken {
private:
    ObjectToken() = default;
    friend class ::DLPObjectContext;
};
}  // namespace host

class DLPObject : public platform::Object {
public:
    explicit DLPObject(const host::ObjectToken&) {}

    const std::string& entityName() const { return m_entity->name; }
    int64_t primaryKeyValue() const { return m_key; }
    std::shared_ptr<DLPObjectContext> objectContext() const { return m_context.lock(); }
    const host::EntityDescription& entity() const { return *m_entity; }

    // Key-value access by attribute name; an attribute the entity lacks is an error naming the
    // entity and the attributes it has.
    platform::Result<platform::Value> valueForKey(std::string_view key) const;
    platform::Status setValueForKey(const platform::Value& value, std::string_view key);

    // Pending state in the context.
    bool isInserted() const { return m_state == State::Inserted; }
    bool isDeleted() const { return m_state == State::Deleted || m_state == State::Discarded; }
    bool hasChanges() const { return m_state == State::Inserted || m_state == State::Updated || isDeleted(); }

    std::string className() const override;
    std::string description() const override;  // "<CustomRecordDefinition 12 name="Budget">"

    // The values in attribute order (the entity's description); for rendering and tests.
    const std::vector<platform::Value>& values() const { return m_values; }

protected:
    // Typed accessors of subclasses. A name the entity lacks is a programming error
    // (std::logic_error); a value of the wrong type is std::invalid_argument with the reason.
    const platform::Value& attribute(std::string_view name) const;
    void setAttribute(std::string_view name, const platform::Value& value);
    // The same by the attribute's place in the entity's description (slotOf), which the typed
    // accessors look up once: a copy of many records calls them millions of times.
    size_t slotOf(std::string_view name) const;
    const platform::Value& attributeAt(size_t slot) const { return m_values[slot]; }
    void setAttributeAt(size_t slot, const platform::Value& value);

    // Ordered to-many relation access for subclasses (see DLPObjectContext for the rules).
    platform::Result<std::vector<std::shared_ptr<DLPObject>>> relationMembers(std::string_view relation);
    platform::Status addToRelation(std::string_view relation, const std::shared_ptr<DLPObject>& member);

private:
    friend class DLPObjectContext;
    enum class State { NotInserted, Inserted, Clean, Updated, Deleted, Discarded };

    struct Relation {
        bool loaded = false;
        std::vector<std::shared_ptr<DLPObject>> members;
    };

    platform::Status store(size_t slot, const platform::Value& value);
    void markUpdated();

    const host::EntityDescription* m_entity = nullptr;
    int64_t m_key = 0;
    std::weak_ptr<DLPObjectContext> m_context;
    std::vector<platform::Value> m_values;
    std::vector<Relation> m_relations;
    State m_state = State::NotInserted;
    bool m_queued = false;  // in the context's list of changed objects
};
