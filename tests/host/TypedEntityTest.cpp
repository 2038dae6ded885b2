// Every typed entity's accessors reach the catalog attribute they are named after: a setter's
// value is what the attribute holds and what the getter gives back.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/database/model/Category.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWContact.h"
#include "host/database/model/GWUser.h"
#include "host/database/sqlite/Database.h"
#include "tests/support/TempDir.h"

namespace {

struct Accessor {
    std::string entity;
    std::string attribute;
    std::function<std::shared_ptr<DLPObject>(DLPObjectContext&)> make;
    std::function<void(DLPObject&, const platform::Value&)> set;  // empty: read-only
    std::function<platform::Value(const DLPObject&)> get;
};

template <class T>
std::shared_ptr<DLPObject> make(DLPObjectContext& context) {
    auto object = context.createObject<T>();
    return object ? *object : nullptr;
}

#define SETTABLE(Class, getter, Setter)                                                            \
    Accessor {                                                                                     \
        Class::kEntityName, #getter, make<Class>,                                                  \
            [](DLPObject& o, const platform::Value& v) { static_cast<Class&>(o).set##Setter(v); }, \
            [](const DLPObject& o) { return static_cast<const Class&>(o).getter(); }               \
    }
#define READABLE(Class, getter)                                                      \
    Accessor {                                                                       \
        Class::kEntityName, #getter, make<Class>, nullptr,                           \
            [](const DLPObject& o) { return static_cast<const Class&>(o).getter(); } \
    }

platform::Value sampleFor(host::AttributeType type) {
    switch (type) {
        case host::AttributeType::Text:
            return platform::Value("Größe");
        case host::AttributeType::Integer:
            return platform::Value(int64_t{42});
        case host::AttributeType::Real:
            return platform::Value(2.5);
        case host::AttributeType::Boolean:
            return platform::Value(true);
        case host::AttributeType::Any:
            break;
    }
    return platform::Value("any");
}

TEST(TypedEntityTest, EveryAccessorReachesTheAttributeItIsNamedAfter) {
    const Accessor accessors[] = {
        SETTABLE(Category, name, Name),
        SETTABLE(Category, forContact, ForContact),
        SETTABLE(Category, forGroup, ForGroup),
        SETTABLE(Category, forNote, ForNote),
        SETTABLE(Category, forOpportunity, ForOpportunity),
        SETTABLE(Category, forOrganization, ForOrganization),
        SETTABLE(Category, forProject, ForProject),
        SETTABLE(Category, forTask, ForTask),
        SETTABLE(Category, forTimeblock, ForTimeblock),
        SETTABLE(CustomRecordDefinition, active, Active),
        SETTABLE(CustomRecordDefinition, defaultValue, DefaultValue),
        SETTABLE(CustomRecordDefinition, details, Details),
        SETTABLE(CustomRecordDefinition, name, Name),
        SETTABLE(CustomRecordDefinition, options, Options),
        SETTABLE(CustomRecordDefinition, typeCode, TypeCode),
        READABLE(CustomRecordDefinition, customRecordSetDefinitionID),
        READABLE(CustomRecordDefinition, position),
        SETTABLE(CustomRecordSetDefinition, name, Name),
        SETTABLE(CustomRecordSetDefinition, active, Active),
        SETTABLE(CustomRecordSetDefinition, details, Details),
        SETTABLE(CustomRecordSetDefinition, forContact, ForContact),
        SETTABLE(CustomRecordSetDefinition, forGroup, ForGroup),
        SETTABLE(CustomRecordSetDefinition, forOpportunity, ForOpportunity),
        SETTABLE(CustomRecordSetDefinition, forOrganization, ForOrganization),
        SETTABLE(CustomRecordSetDefinition, forProject, ForProject),
        SETTABLE(GWConnectorMap, foreignAppName, ForeignAppName),
        SETTABLE(GWConnectorMap, foreignEntityType, ForeignEntityType),
        SETTABLE(GWConnectorMap, foreignID, ForeignID),
        SETTABLE(GWConnectorMap, foreignDatabase, ForeignDatabase),
        SETTABLE(GWConnectorMap, contactID, ContactID),
        SETTABLE(GWContact, firstName, FirstName),
        SETTABLE(GWContact, lastName, LastName),
        SETTABLE(GWContact, company, Company),
        SETTABLE(GWContact, email, Email),
        SETTABLE(GWUser, loginName, LoginName),
        SETTABLE(GWUser, name, Name),
        SETTABLE(GWUser, contactID, ContactID),
        SETTABLE(GWUser, active, Active),
    };
    testsupport::TempDir dir;
    auto database = host::Database::open(dir / "typed.zandrel");
    ASSERT_TRUE(database) << database.status().message();
    auto context = DLPObjectContext::withoutUser(*database);
    for (const auto& accessor : accessors) {
        SCOPED_TRACE(accessor.entity + "." + accessor.attribute);
        auto object = accessor.make(*context);
        ASSERT_TRUE(object);
        const auto* description = host::EntityCatalog::shared().find(accessor.entity);
        ASSERT_TRUE(description);
        const auto slot = description->slot(accessor.attribute);
        ASSERT_TRUE(slot) << "no such attribute in the catalog";
        if (accessor.set) {
            const platform::Value sample = sampleFor(description->attributes[*slot].type);
            accessor.set(*object, sample);
            EXPECT_EQ(object->values()[*slot], sample);
        }
        EXPECT_EQ(accessor.get(*object), object->values()[*slot]);
    }
}

}  // namespace
