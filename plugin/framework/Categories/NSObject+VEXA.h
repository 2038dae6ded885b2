#pragma once

// Taking and dropping a reference by hand. Objects are held by std::shared_ptr; kopaRetain adds
// one strong reference kept in a process-wide table, kopaRelease drops one of them. They let
// code keep an object alive across a span that no owner covers (a callback registered with a
// C library, say) and let it go afterwards. Each kopaRetain must be balanced by one kopaRelease.
//
// Any thread may call them. The last reference the table drops is destroyed outside its lock, so
// the object's destructor may itself retain or release other objects.

#include <cstddef>
#include <memory>

#include "platform/foundation/Object.h"

// Takes one more reference to the object and returns it. An object not owned by a shared_ptr
// cannot be kept alive this way: the reference form throws std::bad_weak_ptr then.
std::shared_ptr<platform::Object> kopaRetain(platform::Object& object);
template <typename T>
std::shared_ptr<T> kopaRetain(const std::shared_ptr<T>& object) {
    if (object) kopaRetain(static_cast<platform::Object&>(*object));
    return object;
}

// Drops one reference taken by kopaRetain; the object dies here when that was the last one.
// Returns false, and changes nothing, when the table holds no reference to the object (an
// unbalanced release is the caller's mistake and must not free an object someone still uses).
bool kopaRelease(const platform::Object& object);

// References the table holds for the object (0 when none).
size_t kopaRetainedCount(const platform::Object& object);
