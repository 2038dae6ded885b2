#pragma once

// CustomRecordSetDefinition: the typed object of the host entity "CustomRecordSetDefinition" (attributes
// described in EntityCatalog.cpp). A form template: a named set of field definitions that can be attached to
// contacts, groups, opportunities, organisations and projects. Getters return the stored value (null when
// there is none); setters take any value the attribute's type accepts and throw std::invalid_argument for
// another (EntityDescription.h).

#include <memory>
#include <vector>

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class CustomRecordDefinition;

class CustomRecordSetDefinition : public DLPObject {
public:
    static constexpr const char* kEntityName = "CustomRecordSetDefinition";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(name, Name)
    DLP_ATTRIBUTE(active, Active)
    DLP_ATTRIBUTE(details, Details)
    DLP_ATTRIBUTE(forContact, ForContact)
    DLP_ATTRIBUTE(forGroup, ForGroup)
    DLP_ATTRIBUTE(forOpportunity, ForOpportunity)
    DLP_ATTRIBUTE(forOrganization, ForOrganization)
    DLP_ATTRIBUTE(forProject, ForProject)

    // The template's field definitions in their stored order (read from the file once).
    platform::Result<std::vector<std::shared_ptr<CustomRecordDefinition>>> customRecordDefinitions();
    // Appends a field definition of the same context (moving it from another template if it
    // belonged to one). Adding a member again changes nothing.
    platform::Status addToCustomRecordDefinitions(const std::shared_ptr<DLPObject>& definition);
};
