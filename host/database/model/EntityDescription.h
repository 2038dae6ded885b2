#pragma once

// EntityDescription: what the object database knows about one host entity -- its attributes
// with their value types and initial values, its ordered to-many relations, and which C++
// class stands for its objects. All descriptions live in one table in EntityCatalog.cpp.
//
// Value types decide what a setter accepts and what a read returns:
//   Text     a text (or no value)
//   Integer  an integer; a boolean or a real with an integral value is taken as that integer
//   Real     a number, kept as a real
//   Boolean  a boolean; the integers 0 and 1 are taken as false and true (the host's numbers)
//   Any      any value, read back exactly as written (arrays, dictionaries and booleans are
//            kept as JSON in a BLOB, everything else in its SQLite form)
// No value (null) is accepted by every type and read back as null.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/database/sqlite/Statement.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class DLPObject;

namespace host {

enum class AttributeType { Text, Integer, Real, Boolean, Any };

struct EntityDescription;

struct AttributeDescription {
    std::string name;
    AttributeType type = AttributeType::Text;
    // Set by createObject... with setupInitialValues; null means "no value".
    platform::Value initialValue;
    // Kept by a relation (owner key, position); readable, not settable by key.
    bool maintainedByRelation = false;
    // For an integer holding another object's key (an owner key, a contact): that entity's
    // name. A save replaces the key of a new object of it with the key the object is stored
    // under (see DLPObjectContext).
    std::string references;
    const EntityDescription* referenced = nullptr;  // filled in by the catalog
};

// An ordered to-many relation: the target's rows point back at their owner through an owner
// key attribute and keep their order in a position attribute (both maintainedByRelation).
struct ToManyDescription {
    std::string name;
    std::string targetEntity;
    std::string ownerKeyAttribute;
    std::string positionAttribute;
};

struct ObjectToken;
using ObjectFactory = std::shared_ptr<DLPObject> (*)(const ObjectToken&);

struct EntityDescription {
    std::string name;
    std::vector<AttributeDescription> attributes;
    std::vector<ToManyDescription> toMany;
    ObjectFactory make = nullptr;  // the typed class; plain DLPObject when null
    // Indexes over attribute names, for lookups the host or plug-ins make often. Only an aid to
    // speed: a file without them (made before they were declared) reads the same, and opening
    // it for writing adds them.
    std::vector<std::vector<std::string>> indexes;

    // Filled in by the catalog.
    size_t index = 0;
    // For a relation target: the owning entity, relation index and attribute slots.
    const EntityDescription* owner = nullptr;
    size_t ownerRelation = 0;
    size_t ownerKeySlot = 0;
    size_t positionSlot = 0;
    // For each to-many relation: the target's description.
    std::vector<const EntityDescription*> targets;

    std::optional<size_t> slot(std::string_view attribute) const;
    std::optional<size_t> relationIndex(std::string_view relation) const;
    std::string attributeNames() const;  // "a, b, c" for error messages
};

// Checks a value against an attribute's type and gives the value to keep (see the table above).
platform::Result<platform::Value> coerceAttributeValue(const EntityDescription& entity, size_t slot,
                                                       const platform::Value& value);
// The SQLite form of an attribute value that coerceAttributeValue accepted.
StoredValue storedAttributeValue(AttributeType type, const platform::Value& value);
// The attribute value for what a column holds.
platform::Value attributeValueFromStored(AttributeType type, const StoredValue& stored);
const char* attributeTypeName(AttributeType type);

}  // namespace host
