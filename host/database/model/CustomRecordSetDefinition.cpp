#include "host/database/model/CustomRecordSetDefinition.h"

#include "host/database/model/CustomRecordDefinition.h"

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
