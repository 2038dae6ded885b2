#include "host/database/GWContact.h"

platform::Value GWContact::firstName() const {
    return attribute("firstName");
}
void GWContact::setFirstName(const platform::Value& value) {
    setAttribute("firstName", value);
}
platform::Value GWContact::lastName() const {
    return attribute("lastName");
}
void GWContact::setLastName(const platform::Value& value) {
    setAttribute("lastName", value);
}
platform::Value GWContact::company() const {
    return attribute("company");
}
void GWContact::setCompany(const platform::Value& value) {
    setAttribute("company", value);
}
platform::Value GWContact::email() const {
    return attribute("email");
}
void GWContact::setEmail(const platform::Value& value) {
    setAttribute("email", value);
}
