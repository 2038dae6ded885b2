#include "plugin/framework/Categories/DLPObjectContext+VEXA.h"

platform::Result<std::shared_ptr<DLPObject>> kopaObjectForObject(DLPObjectContext& context,
                                                                 const std::shared_ptr<DLPObject>& object) {
    if (!object) return std::shared_ptr<DLPObject>();
    if (object->objectContext().get() == &context) return object;
    if (object->primaryKeyValue() < 1) return std::shared_ptr<DLPObject>();
    return context.objectForEntityNamedWherePrimaryKeyValueIs(object->entityName(),
                                                              object->primaryKeyValue());
}
