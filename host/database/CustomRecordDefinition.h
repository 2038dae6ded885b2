#pragma once

// CustomRecordDefinition: the typed object of the host entity "CustomRecordDefinition" (attributes described
// in EntityCatalog.cpp). A field definition of a form template. typeCode says what kind of field it is (see
// CustomRecordDefinition::TypeCode); options holds a pop-up's choices.
// Getters return the stored value (null when there is none); setters take any value the
// attribute's type accepts and throw std::invalid_argument for another (EntityDescription.h).

#include <cstdint>

#include "host/database/DLPObject.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class CustomRecordDefinition : public DLPObject {
public:
    static constexpr const char* kEntityName = "CustomRecordDefinition";
    using DLPObject::DLPObject;

    platform::Value active() const;
    void setActive(const platform::Value& value);
    platform::Value defaultValue() const;
    void setDefaultValue(const platform::Value& value);
    platform::Value details() const;
    void setDetails(const platform::Value& value);
    platform::Value name() const;
    void setName(const platform::Value& value);
    platform::Value options() const;
    void setOptions(const platform::Value& value);
    platform::Value typeCode() const;
    void setTypeCode(const platform::Value& value);

    // The type codes the host knows for typeCode.
    enum TypeCode : int64_t { Text = 0, Number = 1, Date = 2, PopUp = 3, CheckBox = 4, MultiLineText = 5 };

    // The owning template's key and the place in its list; kept by addToCustomRecordDefinitions.
    platform::Value customRecordSetDefinitionID() const;
    platform::Value position() const;
};
