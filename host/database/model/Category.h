#pragma once

// Category: the typed object of the host entity "Category" (attributes described in EntityCatalog.cpp).
// A category, with one applicability flag per kind of object it can be attached to.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class Category : public DLPObject {
public:
    static constexpr const char* kEntityName = "Category";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(name, Name)
    DLP_ATTRIBUTE(forContact, ForContact)
    DLP_ATTRIBUTE(forGroup, ForGroup)
    DLP_ATTRIBUTE(forNote, ForNote)
    DLP_ATTRIBUTE(forOpportunity, ForOpportunity)
    DLP_ATTRIBUTE(forOrganization, ForOrganization)
    DLP_ATTRIBUTE(forProject, ForProject)
    DLP_ATTRIBUTE(forTask, ForTask)
    DLP_ATTRIBUTE(forTimeblock, ForTimeblock)
};
