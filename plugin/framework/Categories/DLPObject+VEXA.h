#pragma once

// Making sure a category exists for the kind of object at hand.

#include <memory>
#include <string>

#include "host/database/model/Category.h"
#include "host/database/model/DLPObject.h"
#include "platform/foundation/Status.h"

// The applicability flag of Category for objects of the receiver's kind ("forContact" for a
// contact...), or null for a kind no category can be attached to. The host's kinds are its
// entities: Contact, Group, Note, Opportunity, Organization, Project, Task, Timeblock.
const char* kopaCategoryFlagForObject(const DLPObject& object);

// When no category named `name` exists in the receiver's context (names compared exactly, as
// the host's qualifiers compare texts): creates one, sets the one flag for the receiver's kind
// (none for another kind), saves the context and returns the new category. When one exists:
// null, and nothing is created or saved.
// Errors: a receiver without a context, a failed lookup (then nothing is created: a category
// that may well exist is not made twice) or a failed save (the new category stays among the
// context's pending changes, for the host's next save).
platform::Result<std::shared_ptr<Category>> kopaCreateCategoryIfNeccessaryWithName(DLPObject& receiver,
                                                                                   const std::string& name);
