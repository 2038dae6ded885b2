#pragma once

// Category: the typed object of the host entity "Category" (attributes described in EntityCatalog.cpp).
// A category, with one applicability flag per kind of object it can be attached to.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class Category : public DLPObject {
public:
    static constexpr const char* kEntityName = "Category";
    using DLPObject::DLPObject;

    platform::Value name() const;
    void setName(const platform::Value& value);
    platform::Value forContact() const;
    void setForContact(const platform::Value& value);
    platform::Value forGroup() const;
    void setForGroup(const platform::Value& value);
    platform::Value forNote() const;
    void setForNote(const platform::Value& value);
    platform::Value forOpportunity() const;
    void setForOpportunity(const platform::Value& value);
    platform::Value forOrganization() const;
    void setForOrganization(const platform::Value& value);
    platform::Value forProject() const;
    void setForProject(const platform::Value& value);
    platform::Value forTask() const;
    void setForTask(const platform::Value& value);
    platform::Value forTimeblock() const;
    void setForTimeblock(const platform::Value& value);
};
