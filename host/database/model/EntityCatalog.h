#pragma once

// EntityCatalog: the host entities the object database stores, described in one table
// (EntityCatalog.cpp). Tables, columns, statements, qualifier checks and the objects'
// classes all come from these descriptions.
//
// Adding a host entity:
//   1. add one EntityDescription to the table in EntityCatalog.cpp: its name (which is also
//      its table's name), attributes with types and initial values, and any ordered to-many
//      relations (the target then gets the owner key and position attributes they name,
//      marked maintainedByRelation); an integer attribute holding another entity's key is
//      declared with reference(), so a save can give it the key a new object is stored under;
//   2. optionally, a typed subclass of DLPObject (one file pair named after the class, with
//      getters/setters over valueForSlot/setAttribute), named in the description's `make`.
// A new entity's table is created when any database file is next opened. Changing the
// attributes of an existing entity changes the file format: raise Schema::kVersion and add the
// upgrade step in Schema.cpp.
//
// Entities are listed owners first; saves write them in this order.

#include <string_view>
#include <vector>

#include "host/database/model/EntityDescription.h"

namespace host {

class EntityCatalog {
public:
    static const EntityCatalog& shared();

    const EntityDescription* find(std::string_view name) const;
    const std::vector<EntityDescription>& entities() const { return m_entities; }
    // The names of all entities, "A, B, C", for error messages.
    std::string entityNames() const;

private:
    EntityCatalog();
    std::vector<EntityDescription> m_entities;
};

}  // namespace host
