#include "plugin/framework/Categories/NSMutableArray+VEXA.h"

void kopaConditionallyAddObject(platform::Array& array, const platform::Value* object) {
    if (object) array.push_back(*object);
}
