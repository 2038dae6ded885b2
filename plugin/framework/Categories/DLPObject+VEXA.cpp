#include <string_view>
#include <utility>

#include "host/database/model/DLPObjectContext.h"
#include "plugin/framework/Categories/DLPObject+VEXA.h"

const char* kopaCategoryFlagForObject(const DLPObject& object) {
    static constexpr std::pair<std::string_view, const char*> kFlags[] = {{"Contact", "forContact"},
                                                                          {"Group", "forGroup"},
                                                                          {"Note", "forNote"},
                                                                          {"Opportunity", "forOpportunity"},
                                                                          {"Organization", "forOrganization"},
                                                                          {"Project", "forProject"},
                                                                          {"Task", "forTask"},
                                                                          {"Timeblock", "forTimeblock"}};
    for (const auto& [entity, flag] : kFlags)
        if (object.entityName() == entity) return flag;
    return nullptr;
}

platform::Result<std::shared_ptr<Category>> kopaCreateCategoryIfNeccessaryWithName(DLPObject& receiver,
                                                                                   const std::string& name) {
    auto context = receiver.objectContext();
    if (!context)
        return platform::Status::error("creating the category \"" + name + "\": " + receiver.description() +
                                       " belongs to no open database any more");
    auto existing = context->objectsForEntityNamedQualifierLocumBindings(
        Category::kEntityName, "name == $name", {{"name", platform::Value(name)}});
    if (!existing) return existing.status().withContext("looking for the category \"" + name + "\"");
    if (!existing->empty()) return std::shared_ptr<Category>();

    auto category = context->createObject<Category>(true);
    if (!category) return category.status().withContext("creating the category \"" + name + "\"");
    (*category)->setName(name);
    if (const char* flag = kopaCategoryFlagForObject(receiver))
        if (auto status = (*category)->setValueForKey(true, flag); !status) return status;
    if (auto status = context->saveChanges(); !status)
        return status.withContext("saving the new category \"" + name + "\"");
    return *category;
}
