#include "host/database/model/EntityDescription.h"

#include <fmt/format.h>

#include <cmath>

namespace host {

std::optional<size_t> EntityDescription::slot(std::string_view attribute) const {
    for (size_t i = 0; i < attributes.size(); ++i)
        if (attributes[i].name == attribute) return i;
    return std::nullopt;
}

std::optional<size_t> EntityDescription::relationIndex(std::string_view relation) const {
    for (size_t i = 0; i < toMany.size(); ++i)
        if (toMany[i].name == relation) return i;
    return std::nullopt;
}

std::string EntityDescription::attributeNames() const {
    std::string names;
    for (const auto& attribute : attributes) names += (names.empty() ? "" : ", ") + attribute.name;
    return names;
}

const char* attributeTypeName(AttributeType type) {
    switch (type) {
        case AttributeType::Text:
            return "a text";
        case AttributeType::Integer:
            return "an integer";
        case AttributeType::Real:
            return "a number";
        case AttributeType::Boolean:
            return "a boolean";
        case AttributeType::Any:
            return "any value";
    }
    return "?";
}

platform::Result<platform::Value> coerceAttributeValue(const EntityDescription& entity, size_t slot,
                                                       const platform::Value& value) {
    using platform::Value;
    const auto& attribute = entity.attributes[slot];
    if (value.isNull()) return value;
    switch (attribute.type) {
        case AttributeType::Any:
            return value;
        case AttributeType::Text:
            if (value.isString()) return value;
            break;
        case AttributeType::Integer:
            if (value.isInteger()) return value;
            if (value.isBool()) return Value(int64_t{value.asBool() ? 1 : 0});
            if (value.isNumber() && std::trunc(value.asReal()) == value.asReal() &&
                std::abs(value.asReal()) < 9.0e15)
                return Value(int64_t(value.asReal()));
            break;
        case AttributeType::Real:
            if (value.isNumber()) return Value(value.asReal());
            break;
        case AttributeType::Boolean:
            if (value.isBool()) return value;
            if (value.isInteger() && (value.asInteger() == 0 || value.asInteger() == 1))
                return Value(value.asInteger() == 1);
            break;
    }
    return platform::Status::error(fmt::format("{}.{} takes {}, not {} {}", entity.name, attribute.name,
                                               attributeTypeName(attribute.type),
                                               Value::typeName(value.type()), value.toJson()));
}

StoredValue storedAttributeValue(AttributeType type, const platform::Value& value) {
    using T = platform::Value::Type;
    switch (value.type()) {
        case T::Null:
            return StoredValue::null();
        case T::Integer:
            return StoredValue::fromInteger(value.asInteger());
        case T::Real:
            return StoredValue::fromReal(value.asReal());
        case T::String:
            return StoredValue::fromText(value.asString());
        case T::Boolean:
            if (type == AttributeType::Any) return StoredValue::fromBlob(value.toJson());
            return StoredValue::fromInteger(value.asBool() ? 1 : 0);
        case T::Array:
        case T::Dictionary:
            return StoredValue::fromBlob(value.toJson());
    }
    return StoredValue::null();
}

platform::Value attributeValueFromStored(AttributeType type, const StoredValue& stored) {
    using platform::Value;
    using K = StoredValue::Kind;
    switch (stored.kind) {
        case K::Null:
            return Value();
        case K::Integer:
            if (type == AttributeType::Boolean) return Value(stored.integer != 0);
            if (type == AttributeType::Real) return Value(double(stored.integer));
            return Value(stored.integer);
        case K::Real:
            // Written by another tool: a real beyond the 64-bit range (or not a number) has no
            // integer form and is shown as it is.
            if (type == AttributeType::Integer && std::isfinite(stored.real) &&
                stored.real >= -9.2233720368547758e18 && stored.real < 9.2233720368547758e18)
                return Value(int64_t(stored.real));
            return Value(stored.real);
        case K::Text:
            return Value(stored.bytes);
        case K::Blob:
            try {
                return Value::parseJson(stored.bytes);
            } catch (const platform::ValueError&) {
                return Value(stored.bytes);  // written by another tool: show the bytes rather than lose them
            }
        case K::List:
            break;  // a parameter only, never read from a column
    }
    return Value();
}

}  // namespace host
