#pragma once

// In-place array helper: add an object only when there is one. Templates over std::vector, so it
// serves arrays of values and arrays of objects alike.

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

// Appends the object when it is given; with none (an empty pointer or optional) the array stays
// as it is.
template <typename T>
void kopaConditionallyAddObject(std::vector<std::shared_ptr<T>>& array, std::shared_ptr<T> object) {
    if (object) array.push_back(std::move(object));
}
template <typename T>
void kopaConditionallyAddObject(std::vector<T>& array, std::optional<T> object) {
    if (object) array.push_back(std::move(*object));
}
// For arrays of dynamic values: a null pointer is "none"; a null value is a value and is added.
void kopaConditionallyAddObject(platform::Array& array, const platform::Value* object);
