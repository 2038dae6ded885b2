#include "host/database/model/EntityCatalog.h"

#include <stdexcept>

#include "host/database/model/Category.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWContact.h"
#include "host/database/model/GWUser.h"

namespace host {

namespace {

template <typename T>
std::shared_ptr<DLPObject> make(const ObjectToken& token) {
    return std::make_shared<T>(token);
}

AttributeDescription text(std::string name) {
    return {std::move(name), AttributeType::Text, {}, false, {}, nullptr};
}
AttributeDescription integer(std::string name, platform::Value initial = {}) {
    return {std::move(name), AttributeType::Integer, std::move(initial), false, {}, nullptr};
}
AttributeDescription flag(std::string name, bool initial) {
    return {std::move(name), AttributeType::Boolean, platform::Value(initial), false, {}, nullptr};
}
AttributeDescription any(std::string name) {
    return {std::move(name), AttributeType::Any, {}, false, {}, nullptr};
}
AttributeDescription maintained(std::string name) {
    return {std::move(name), AttributeType::Integer, {}, true, {}, nullptr};
}
AttributeDescription reference(std::string name, std::string entity) {
    AttributeDescription attribute{std::move(name), AttributeType::Integer, {}, false, {}, nullptr};
    attribute.references = std::move(entity);
    return attribute;
}

EntityDescription entity(std::string name, std::vector<AttributeDescription> attributes,
                         std::vector<ToManyDescription> toMany, ObjectFactory factory,
                         std::vector<std::vector<std::string>> indexes = {}) {
    EntityDescription description;
    description.name = std::move(name);
    description.attributes = std::move(attributes);
    description.toMany = std::move(toMany);
    description.make = factory;
    description.indexes = std::move(indexes);
    return description;
}

// The host entities. Owners come before the targets of their relations.
std::vector<EntityDescription> describeEntities() {
    return {
        entity("Contact", {text("firstName"), text("lastName"), text("company"), text("email")}, {},
               &make<GWContact>),
        entity("User",
               {text("loginName"), text("name"), reference("contactID", "Contact"), flag("active", true)}, {},
               &make<GWUser>),
        entity("CustomRecordSetDefinition",
               {text("name"), flag("active", true), text("details"), flag("forContact", false),
                flag("forGroup", false), flag("forOpportunity", false), flag("forOrganization", false),
                flag("forProject", false)},
               {{"customRecordDefinitions", "CustomRecordDefinition", "customRecordSetDefinitionID",
                 "position"}},
               &make<CustomRecordSetDefinition>),
        entity("CustomRecordDefinition",
               {flag("active", true), any("defaultValue"), text("details"), text("name"), any("options"),
                integer("typeCode", int64_t{0}), maintained("customRecordSetDefinitionID"),
                maintained("position")},
               {}, &make<CustomRecordDefinition>),
        entity("Category",
               {text("name"), flag("forContact", false), flag("forGroup", false), flag("forNote", false),
                flag("forOpportunity", false), flag("forOrganization", false), flag("forProject", false),
                flag("forTask", false), flag("forTimeblock", false)},
               {}, &make<Category>),
        entity("GWConnectorMap",
               {text("foreignAppName"), text("foreignEntityType"), text("foreignID"), text("foreignDatabase"),
                reference("contactID", "Contact")},
               {}, &make<GWConnectorMap>,
               // Permission checks ask for one application's records of one kind for one contact,
               // by foreign key or by a list of them.
               {{"foreignAppName", "foreignEntityType", "contactID", "foreignID"}}),
    };
}

}  // namespace

const EntityCatalog& EntityCatalog::shared() {
    static const EntityCatalog catalog;
    return catalog;
}

EntityCatalog::EntityCatalog() : m_entities(describeEntities()) {
    for (size_t i = 0; i < m_entities.size(); ++i) m_entities[i].index = i;
    // Link relations both ways; a broken description is a programming error caught at first use.
    for (auto& owner : m_entities) {
        for (size_t r = 0; r < owner.toMany.size(); ++r) {
            const auto& relation = owner.toMany[r];
            auto* target = const_cast<EntityDescription*>(find(relation.targetEntity));
            if (!target) throw std::logic_error("relation " + relation.name + " names an unknown entity");
            auto ownerSlot = target->slot(relation.ownerKeyAttribute);
            auto positionSlot = target->slot(relation.positionAttribute);
            if (!ownerSlot || !positionSlot || target->owner)
                throw std::logic_error("relation " + relation.name +
                                       " does not match its target's attributes");
            target->owner = &owner;
            target->ownerRelation = r;
            target->ownerKeySlot = *ownerSlot;
            target->positionSlot = *positionSlot;
            target->attributes[*ownerSlot].references = owner.name;
            owner.targets.push_back(target);
        }
    }
    for (const auto& entity : m_entities)
        for (const auto& index : entity.indexes)
            for (const auto& attribute : index)
                if (!entity.slot(attribute))
                    throw std::logic_error("an index of " + entity.name + " names the unknown attribute " +
                                           attribute);
    for (auto& entity : m_entities)
        for (auto& attribute : entity.attributes) {
            if (attribute.references.empty()) continue;
            attribute.referenced = find(attribute.references);
            if (!attribute.referenced || attribute.type != AttributeType::Integer)
                throw std::logic_error(entity.name + "." + attribute.name +
                                       " references an unknown entity or is no integer");
        }
}

const EntityDescription* EntityCatalog::find(std::string_view name) const {
    for (const auto& entity : m_entities)
        if (entity.name == name) return &entity;
    return nullptr;
}

std::string EntityCatalog::entityNames() const {
    std::string names;
    for (const auto& entity : m_entities) names += (names.empty() ? "" : ", ") + entity.name;
    return names;
}

}  // namespace host
