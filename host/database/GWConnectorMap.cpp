#include "host/database/GWConnectorMap.h"

platform::Value GWConnectorMap::foreignAppName() const {
    return attribute("foreignAppName");
}
void GWConnectorMap::setForeignAppName(const platform::Value& value) {
    setAttribute("foreignAppName", value);
}
platform::Value GWConnectorMap::foreignEntityType() const {
    return attribute("foreignEntityType");
}
void GWConnectorMap::setForeignEntityType(const platform::Value& value) {
    setAttribute("foreignEntityType", value);
}
platform::Value GWConnectorMap::foreignID() const {
    return attribute("foreignID");
}
void GWConnectorMap::setForeignID(const platform::Value& value) {
    setAttribute("foreignID", value);
}
platform::Value GWConnectorMap::foreignDatabase() const {
    return attribute("foreignDatabase");
}
void GWConnectorMap::setForeignDatabase(const platform::Value& value) {
    setAttribute("foreignDatabase", value);
}
platform::Value GWConnectorMap::contactID() const {
    return attribute("contactID");
}
void GWConnectorMap::setContactID(const platform::Value& value) {
    setAttribute("contactID", value);
}
