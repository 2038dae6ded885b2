#pragma once

// CustomRecordSetDefinition: the typed object of the host entity "CustomRecordSetDefinition" (attributes
// described in EntityCatalog.cpp). A form template: a named set of field definitions that can be attached to
// contacts, groups, opportunities, organisations and projects. Getters return the stored value (null when
// there is none); setters take any value the attribute's type accepts and throw std::invalid_argument for
// another (EntityDescription.h).

#include <memory>
#include <vector>

#include "host/database/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class CustomRecordDefinition;

class CustomRecordSetDefinition : public DLPObject {
public:
    static constexpr const char* kEntityName = "CustomRecordSetDefinition";
    using DLPObject::DLPObject;

    platform::Value name() const;
    void setName(const platform::Value& value);
    platform::Value active() const;
    void setActive(const platform::Value& value);
    platform::Value details() const;
    void setDetails(const platform::Value& value);
    platform::Value forContact() const;
    void setForContact(const platform::Value& value);
    platform::Value forGroup() const;
    void setForGroup(const platform::Value& value);
    platform::Value forOpportunity() const;
    void setForOpportunity(const platform::Value& value);
    platform::Value forOrganization() const;
    void setForOrganization(const platform::Value& value);
    platform::Value forProject() const;
    void setForProject(const platform::Value& value);

    // The template's field definitions in their stored order (read from the file once).
    platform::Result<std::vector<std::shared_ptr<CustomRecordDefinition>>> customRecordDefinitions();
    // Appends a field definition of the same context (moving it from another template if it
    // belonged to one). Adding a member again changes nothing.
    platform::Status addToCustomRecordDefinitions(const std::shared_ptr<DLPObject>& definition);
};
