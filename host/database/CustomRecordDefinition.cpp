#include "host/database/CustomRecordDefinition.h"

platform::Value CustomRecordDefinition::active() const {
    return attribute("active");
}
void CustomRecordDefinition::setActive(const platform::Value& value) {
    setAttribute("active", value);
}
platform::Value CustomRecordDefinition::defaultValue() const {
    return attribute("defaultValue");
}
void CustomRecordDefinition::setDefaultValue(const platform::Value& value) {
    setAttribute("defaultValue", value);
}
platform::Value CustomRecordDefinition::details() const {
    return attribute("details");
}
void CustomRecordDefinition::setDetails(const platform::Value& value) {
    setAttribute("details", value);
}
platform::Value CustomRecordDefinition::name() const {
    return attribute("name");
}
void CustomRecordDefinition::setName(const platform::Value& value) {
    setAttribute("name", value);
}
platform::Value CustomRecordDefinition::options() const {
    return attribute("options");
}
void CustomRecordDefinition::setOptions(const platform::Value& value) {
    setAttribute("options", value);
}
platform::Value CustomRecordDefinition::typeCode() const {
    return attribute("typeCode");
}
void CustomRecordDefinition::setTypeCode(const platform::Value& value) {
    setAttribute("typeCode", value);
}

platform::Value CustomRecordDefinition::customRecordSetDefinitionID() const {
    return attribute("customRecordSetDefinitionID");
}
platform::Value CustomRecordDefinition::position() const {
    return attribute("position");
}
