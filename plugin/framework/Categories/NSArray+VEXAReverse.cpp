#include "plugin/framework/Categories/NSArray+VEXAReverse.h"

platform::Array reversedArray(const platform::Value& array) {
    if (!array.isArray()) return {};
    return reversedArray(array.asArray());
}
