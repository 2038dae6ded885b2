#include "host/database/Category.h"

platform::Value Category::name() const {
    return attribute("name");
}
void Category::setName(const platform::Value& value) {
    setAttribute("name", value);
}
platform::Value Category::forContact() const {
    return attribute("forContact");
}
void Category::setForContact(const platform::Value& value) {
    setAttribute("forContact", value);
}
platform::Value Category::forGroup() const {
    return attribute("forGroup");
}
void Category::setForGroup(const platform::Value& value) {
    setAttribute("forGroup", value);
}
platform::Value Category::forNote() const {
    return attribute("forNote");
}
void Category::setForNote(const platform::Value& value) {
    setAttribute("forNote", value);
}
platform::Value Category::forOpportunity() const {
    return attribute("forOpportunity");
}
void Category::setForOpportunity(const platform::Value& value) {
    setAttribute("forOpportunity", value);
}
platform::Value Category::forOrganization() const {
    return attribute("forOrganization");
}
void Category::setForOrganization(const platform::Value& value) {
    setAttribute("forOrganization", value);
}
platform::Value Category::forProject() const {
    return attribute("forProject");
}
void Category::setForProject(const platform::Value& value) {
    setAttribute("forProject", value);
}
platform::Value Category::forTask() const {
    return attribute("forTask");
}
void Category::setForTask(const platform::Value& value) {
    setAttribute("forTask", value);
}
platform::Value Category::forTimeblock() const {
    return attribute("forTimeblock");
}
void Category::setForTimeblock(const platform::Value& value) {
    setAttribute("forTimeblock", value);
}
