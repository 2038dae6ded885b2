#pragma once

// GWContact: the typed object of the host entity "Contact" (attributes described in EntityCatalog.cpp).
// A contact (person) of the host database; every user has one.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWContact : public DLPObject {
public:
    static constexpr const char* kEntityName = "Contact";
    using DLPObject::DLPObject;

    platform::Value firstName() const;
    void setFirstName(const platform::Value& value);
    platform::Value lastName() const;
    void setLastName(const platform::Value& value);
    platform::Value company() const;
    void setCompany(const platform::Value& value);
    platform::Value email() const;
    void setEmail(const platform::Value& value);
};
