#pragma once

// In-place array helpers: add an object only when there is one, and reverse in place. Templates
// over std::vector, so they serve arrays of values and arrays of objects alike.

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

// Reverses the array in place by exchanging the elements at i and j from both ends towards the
// middle; an array of 0 or 1 elements is untouched.
template <typename T>
void kopaReverse(std::vector<T>& array) {
    if (array.size() < 2) return;
    for (size_t i = 0, j = array.size() - 1; i < j; ++i, --j) std::swap(array[i], array[j]);
}
