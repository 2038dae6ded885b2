#pragma once

// Pop-up button extensions: selecting the entry that stands for an object.

#include "platform/foundation/Object.h"

namespace platform {
class PopUpButton;
}

// Selects (without sending the action) the first item whose represented object equals
// `object`; the walk stops there. No match, or no object, leaves the selection as it was; an
// item without a represented object never matches. Objects are equal when they are the same
// object (a database context gives one object per record).
void kopaSelectItemWithRepresentedObject(platform::PopUpButton& button, const platform::ObjectPtr& object);
