#pragma once

// Seeing a database object of one context through another.

#include <memory>

#include "host/database/model/DLPObject.h"
#include "host/database/model/DLPObjectContext.h"
#include "platform/foundation/Status.h"

// The record behind `object` as an object of `context`: null for no object; the object itself
// when it already belongs to `context`; otherwise `context`'s object of the same entity and
// key, null when `context` does not have that record. An object another context has not saved
// yet has no record to find (its temporary key means something only in its own context), so
// it gives null too. A failure of the database is the error.
platform::Result<std::shared_ptr<DLPObject>> kopaObjectForObject(DLPObjectContext& context,
                                                                 const std::shared_ptr<DLPObject>& object);
