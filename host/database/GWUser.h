#pragma once

// GWUser: the typed object of the host entity "User" (attributes described in EntityCatalog.cpp).
// A user of the host database. contactID is the key of the user's contact; loginName is the
// name the user signs in with.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWUser : public DLPObject {
public:
    static constexpr const char* kEntityName = "User";
    using DLPObject::DLPObject;

    platform::Value loginName() const;
    void setLoginName(const platform::Value& value);
    platform::Value name() const;
    void setName(const platform::Value& value);
    platform::Value contactID() const;
    void setContactID(const platform::Value& value);
    platform::Value active() const;
    void setActive(const platform::Value& value);
};
