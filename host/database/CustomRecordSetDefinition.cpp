#include "host/database/CustomRecordSetDefinition.h"

#include "host/database/CustomRecordDefinition.h"

platform::Value CustomRecordSetDefinition::name() const {
    return attribute("name");
}
void CustomRecordSetDefinition::setName(const platform::Value& value) {
    setAttribute("name", value);
}
platform::Value CustomRecordSetDefinition::active() const {
    return attribute("active");
}
void CustomRecordSetDefinition::setActive(const platform::Value& value) {
    setAttribute("active", value);
}
platform::Value CustomRecordSetDefinition::details() const {
    return attribute("details");
}
void CustomRecordSetDefinition::setDetails(const platform::Value& value) {
    setAttribute("details", value);
}
platform::Value CustomRecordSetDefinition::forContact() const {
    return attribute("forContact");
}
void CustomRecordSetDefinition::setForContact(const platform::Value& value) {
    setAttribute("forContact", value);
}
platform::Value CustomRecordSetDefinition::forGroup() const {
    return attribute("forGroup");
}
void CustomRecordSetDefinition::setForGroup(const platform::Value& value) {
    setAttribute("forGroup", value);
}
platform::Value CustomRecordSetDefinition::forOpportunity() const {
    return attribute("forOpportunity");
}
void CustomRecordSetDefinition::setForOpportunity(const platform::Value& value) {
    setAttribute("forOpportunity", value);
}
platform::Value CustomRecordSetDefinition::forOrganization() const {
    return attribute("forOrganization");
}
void CustomRecordSetDefinition::setForOrganization(const platform::Value& value) {
    setAttribute("forOrganization", value);
}
platform::Value CustomRecordSetDefinition::forProject() const {
    return attribute("forProject");
}
void CustomRecordSetDefinition::setForProject(const platform::Value& value) {
    setAttribute("forProject", value);
}

platform::Result<std::vector<std::shared_ptr<CustomRecordDefinition>>>
CustomRecordSetDefinition::customRecordDefinitions() {
    auto members = relationMembers("customRecordDefinitions");
    if (!members) return members.status();
    std::vector<std::shared_ptr<CustomRecordDefinition>> definitions;
    definitions.reserve(members->size());
    for (auto& member : *members)
        definitions.push_back(std::static_pointer_cast<CustomRecordDefinition>(member));
    return definitions;
}

platform::Status CustomRecordSetDefinition::addToCustomRecordDefinitions(
    const std::shared_ptr<DLPObject>& definition) {
    return addToRelation("customRecordDefinitions", definition);
}
