#pragma once

// GWContact: the typed object of the host entity "Contact" (attributes described in EntityCatalog.cpp).
// A contact (person) of the host database; every user has one.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWContact : public DLPObject {
public:
    static constexpr const char* kEntityName = "Contact";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(firstName, FirstName)
    DLP_ATTRIBUTE(lastName, LastName)
    DLP_ATTRIBUTE(company, Company)
    DLP_ATTRIBUTE(email, Email)
};
