#pragma once

// A reversed copy of an array; the receiver stays as it is.

#include <vector>

#include "platform/foundation/Value.h"

template <typename T>
std::vector<T> reversedArray(const std::vector<T>& array) {
    std::vector<T> reversed;
    reversed.reserve(array.size());
    for (auto it = array.rbegin(); it != array.rend(); ++it) reversed.push_back(*it);
    return reversed;
}

// The dynamic-value form: a reversed copy of an array value; a value that is no array gives an
// empty array.
platform::Array reversedArray(const platform::Value& array);
