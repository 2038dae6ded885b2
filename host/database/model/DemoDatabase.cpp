#include "host/database/model/DemoDatabase.h"

#include <fmt/format.h>

#include <initializer_list>
#include <string>
#include <system_error>

#include "host/database/model/Category.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWContact.h"
#include "host/database/model/GWUser.h"
#include "host/database/store/StoreFactory.h"

namespace host {

namespace {

using platform::Array;
using platform::Value;
using Type = CustomRecordDefinition::TypeCode;

constexpr const char* kDemoWelcomeKey = "DemoWelcomeText";

struct Field {
    const char* name;
    int64_t typeCode;
    Value defaultValue;
    Value options;
    const char* details;
    bool active = true;
};

struct Template {
    const char* name;
    bool active;
    const char* details;
    std::vector<const char*> attachedTo;  // "forContact", ...
    std::vector<Field> fields;
};

std::vector<Template> demoTemplates() {
    return {
        {"Customer Profile",
         true,
         "What we know about a customer's business.",
         {"forContact", "forOrganization"},
         {{"Industry", Type::PopUp, "Services", Array{"Manufacturing", "Retail", "Services", "Public sector"},
           "The customer's main line of business."},
          {"Annual revenue", Type::Number, {}, {}, "In thousands, last full year."},
          {"Customer since", Type::Date, {}, {}, "Date of the first order."},
          {"Newsletter", Type::CheckBox, true, {}, "Receives the quarterly newsletter."},
          {"Notes", Type::MultiLineText, {}, {}, ""}}},
        {"Project Intake",
         true,
         "Filled in when a project is proposed.",
         {"forProject", "forOpportunity"},
         {{"Budget", Type::Number, int64_t{10000}, {}, "Approved budget in euros."},
          {"Start date", Type::Date, {}, {}, ""},
          {"Priority", Type::PopUp, "Medium", Array{"Low", "Medium", "High"}, ""},
          {"Requires approval", Type::CheckBox, false, {}, "Needs sign-off by a director."},
          {"Sponsor", Type::Text, {}, {}, "Who pays for it."}}},
        {"Event Registration",
         true,
         "",
         {"forContact"},
         {{"Attending", Type::CheckBox, false, {}, ""},
          {"T-shirt size", Type::PopUp, "M", Array{"S", "M", "L", "XL"}, ""},
          {"Dietary requirements", Type::Text, {}, {}, ""},
          {"Arrival", Type::Date, {}, {}, "Day of arrival at the venue."}}},
        {"Legacy Survey 2019",
         false,
         "Replaced by the 2020 survey; kept for old answers.",
         {"forContact", "forGroup"},
         {{"Rating", Type::Number, int64_t{3}, {}, "1 (poor) to 5 (excellent)."},
          {"Comments", Type::MultiLineText, {}, {}, "", false}}},
        {"Quick Notes", true, "A template without fields.", {"forContact"}, {}},
    };
}

struct Person {
    const char* first;
    const char* last;
    const char* company;
    const char* login;
    bool active;
};

platform::Status populate(DLPObjectContext& context) {
    static const Person people[] = {{"Ada", "Lovelace", "Analytical Engines Ltd", "ada", true},
                                    {"Grace", "Hopper", "Compiler Works", "grace", true},
                                    {"Alan", "Turing", "Bletchley Park", "alan", false}};
    for (const auto& person : people) {
        auto contact = context.createObject<GWContact>(true);
        if (!contact) return contact.status();
        (*contact)->setFirstName(person.first);
        (*contact)->setLastName(person.last);
        (*contact)->setCompany(person.company);
        (*contact)->setEmail(fmt::format("{}@example.com", person.login));
        auto user = context.createObject<GWUser>(true);
        if (!user) return user.status();
        (*user)->setLoginName(person.login);
        (*user)->setName(fmt::format("{} {}", person.first, person.last));
        (*user)->setContactID((*contact)->primaryKeyValue());
        (*user)->setActive(person.active);
    }
    for (const auto& form : demoTemplates()) {
        auto definition = context.createObject<CustomRecordSetDefinition>(true);
        if (!definition) return definition.status();
        (*definition)->setName(form.name);
        (*definition)->setActive(form.active);
        (*definition)->setDetails(form.details);
        for (const char* kind : form.attachedTo)
            if (auto status = (*definition)->setValueForKey(true, kind); !status) return status;
        for (const auto& field : form.fields) {
            auto record = context.createObject<CustomRecordDefinition>(true);
            if (!record) return record.status();
            (*record)->setName(field.name);
            (*record)->setTypeCode(field.typeCode);
            (*record)->setDefaultValue(field.defaultValue);
            (*record)->setOptions(field.options);
            (*record)->setDetails(field.details);
            (*record)->setActive(field.active);
            if (auto status = (*definition)->addToCustomRecordDefinitions(*record); !status) return status;
        }
    }
    for (auto [name, flag] : {std::pair{"VIP", "forContact"}, std::pair{"Supplier", "forOrganization"},
                              std::pair{"Internal", "forProject"}}) {
        auto category = context.createObject<Category>(true);
        if (!category) return category.status();
        (*category)->setName(name);
        if (auto status = (*category)->setValueForKey(true, flag); !status) return status;
    }
    // Ada's contact linked to a mailing service, with the service's own data kept as JSON.
    auto contacts =
        context.objectsForEntityNamedQualifierLocumBindings(GWContact::kEntityName, "firstName == 'Ada'");
    if (!contacts) return contacts.status();
    if (!contacts->empty()) {
        auto map = context.createObject<GWConnectorMap>(true);
        if (!map) return map.status();
        (*map)->setForeignAppName("Mailer");
        (*map)->setForeignEntityType("Subscriber");
        (*map)->setForeignID("subscriber-1815");
        (*map)->setForeignDatabase(R"({"list":"Newsletter","since":"2024-03-01","bounces":0})");
        (*map)->setContactID(contacts->front()->primaryKeyValue());
    }
    if (auto status = context.saveChanges(); !status) return status;
    // A setting every user shares, as a registered global setting keeps it.
    return context.userDefaults().setObjectForKey(Value("Welcome to the demo database."), kDemoWelcomeKey);
}

}  // namespace

platform::Status DemoDatabase::create(const std::filesystem::path& file) {
    // A file path or a server address alike (StoreFactory decides); making a demo is asking for
    // the tables.
    StoreFactory::Options options;
    options.createSchema = true;
    auto store = StoreFactory::open(file.string(), options);
    if (!store) return store.status().withContext("creating the demo database");
    auto context = DLPObjectContext::withoutUser(*store);
    for (const auto& entity : EntityCatalog::shared().entities()) {
        auto count = context->resultCountForEntityNamedQualifierLocumBindings(entity.name, "");
        if (!count) return count.status().withContext("creating the demo database");
        if (*count > 0)
            return platform::Status::error(fmt::format(
                "creating the demo database: {} already holds records ({} {}); it is left as it was",
                file.string(), *count, entity.name));
    }
    return populate(*context).withContext("creating the demo database in " + file.string());
}

}  // namespace host
