#pragma once

// GWUser: the typed object of the host entity "User" (attributes described in EntityCatalog.cpp).
// A user of the host database. contactID is the key of the user's contact; loginName is the
// name the user signs in with.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWUser : public DLPObject {
public:
    static constexpr const char* kEntityName = "User";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(loginName, LoginName)
    DLP_ATTRIBUTE(name, Name)
    DLP_ATTRIBUTE(contactID, ContactID)
    DLP_ATTRIBUTE(active, Active)
};
