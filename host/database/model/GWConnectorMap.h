#pragma once

// GWConnectorMap: the typed object of the host entity "GWConnectorMap" (attributes described in
// EntityCatalog.cpp). A connector-map record: links a host record to a record of a foreign application;
// plug-ins also keep their own records here (marked by foreignAppName and foreignEntityType). Getters return
// the stored value (null when there is none); setters take any value the attribute's type accepts and throw
// std::invalid_argument for another (EntityDescription.h).

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class GWConnectorMap : public DLPObject {
public:
    static constexpr const char* kEntityName = "GWConnectorMap";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(foreignAppName, ForeignAppName)
    DLP_ATTRIBUTE(foreignEntityType, ForeignEntityType)
    DLP_ATTRIBUTE(foreignID, ForeignID)
    DLP_ATTRIBUTE(foreignDatabase, ForeignDatabase)
    DLP_ATTRIBUTE(contactID, ContactID)
};
