#include "host/database/GWUser.h"

platform::Value GWUser::loginName() const {
    return attribute("loginName");
}
void GWUser::setLoginName(const platform::Value& value) {
    setAttribute("loginName", value);
}
platform::Value GWUser::name() const {
    return attribute("name");
}
void GWUser::setName(const platform::Value& value) {
    setAttribute("name", value);
}
platform::Value GWUser::contactID() const {
    return attribute("contactID");
}
void GWUser::setContactID(const platform::Value& value) {
    setAttribute("contactID", value);
}
platform::Value GWUser::active() const {
    return attribute("active");
}
void GWUser::setActive(const platform::Value& value) {
    setAttribute("active", value);
}
