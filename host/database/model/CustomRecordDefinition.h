#pragma once

// CustomRecordDefinition: the typed object of the host entity "CustomRecordDefinition" (attributes described
// in EntityCatalog.cpp). A field definition of a form template. typeCode says what kind of field it is (see
// CustomRecordDefinition::TypeCode); options holds a pop-up's choices.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include <cstdint>

#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class CustomRecordDefinition : public DLPObject {
public:
    static constexpr const char* kEntityName = "CustomRecordDefinition";
    using DLPObject::DLPObject;

    DLP_ATTRIBUTE(active, Active)
    DLP_ATTRIBUTE(defaultValue, DefaultValue)
    DLP_ATTRIBUTE(details, Details)
    DLP_ATTRIBUTE(name, Name)
    DLP_ATTRIBUTE(options, Options)
    DLP_ATTRIBUTE(typeCode, TypeCode)

    // The type codes the host knows for typeCode.
    enum TypeCode : int64_t { Text = 0, Number = 1, Date = 2, PopUp = 3, CheckBox = 4, MultiLineText = 5 };

    // The owning template's key and the place in its list; kept by addToCustomRecordDefinitions.
    DLP_READONLY_ATTRIBUTE(customRecordSetDefinitionID)
    DLP_READONLY_ATTRIBUTE(position)
};
