#include "plugin/framework/Classes/VEXAFeature.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWUser.h"
#include "platform/foundation/JsonReader.h"
#include "plugin/framework/Categories/NSString+VEXA.h"
#include "plugin/framework/Classes/VEXAHelper.h"
#include "plugin/framework/Classes/VEXALog.h"

namespace {

constexpr const char* kLookup =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $identifier AND contactID = "
    "$contactID";
// Whether the feature is active: the user's own record or the all-users record, in one indexed count.
constexpr const char* kActiveLookup =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $identifier AND contactID IN "
    "$contactIDs";
constexpr const char* kAnyLookup =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID IN $identifiers AND contactID = "
    "$contactID";

struct FeatureTable {
    std::map<std::string, std::shared_ptr<KOPAFeature>, std::less<>> byID;
    std::optional<std::string> foreignAppName;
};

FeatureTable& table() {
    static FeatureTable features;
    return features;
}

// Fatal for the plug-in, not for the process: the host disables the plug-in that threw and
// keeps the others. Nothing of the file is used.
[[noreturn]] void configurationFault(const std::filesystem::path& file, const std::string& why) {
    std::string message = fmt::format("the feature configuration file {} is broken: {}", file.string(), why);
    KOPA_LOG("{}", message);
    throw KOPAFeatureConfigurationError(message);
}

// The contact number a user's records carry; none for a user without a contact (such a user
// cannot hold records of their own, and must not be mistaken for all users).
std::optional<int64_t> contactNumber(const GWUser* user) {
    if (!user) return int64_t{0};
    platform::Value contact = user->contactID();
    if (!contact.isInteger() || contact.asInteger() == 0) return std::nullopt;
    return contact.asInteger();
}

platform::Status noAppName() {
    return platform::Status::error(
        "feature permissions are not set up: initialise KOPAFeature with the plug-in's configuration first");
}

}  // namespace

void KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(
    const std::string& foreignAppName, const std::filesystem::path& configFile) {
    table().foreignAppName = foreignAppName;
    table().byID.clear();  // a broken file leaves no table, never an older one
    auto text = kopaContentsOfFile(configFile);
    if (!text) configurationFault(configFile, text.status().message());
    auto features = featuresFromConfiguration(*text);
    if (!features) configurationFault(configFile, features.status().message());
    decltype(FeatureTable::byID) byID;
    for (auto& feature : *features) byID.emplace(feature->identifier(), std::move(feature));
    table().byID = std::move(byID);
}

platform::Result<std::vector<std::shared_ptr<KOPAFeature>>> KOPAFeature::featuresFromConfiguration(
    std::string_view json) {
    platform::Value root;
    try {
        root = platform::JsonReader::parse(json);
    } catch (const platform::ValueError& error) {
        return platform::Status::error(fmt::format("it is not JSON ({})", error.what()));
    }
    if (!root.isDictionary())
        return platform::Status::error(fmt::format("its top level is a {}, not an object of features",
                                                   platform::Value::typeName(root.type())));
    std::vector<std::shared_ptr<KOPAFeature>> features;
    features.reserve(root.asDictionary().size());
    for (const auto& [identifier, defaults] : root.asDictionary()) {
        if (!defaults.isDictionary())
            return platform::Status::error(fmt::format("the feature \"{}\" is a {}, not an object",
                                                       identifier,
                                                       platform::Value::typeName(defaults.type())));
        const auto* description = defaults.find("description");
        if (description && !description->isString())
            return platform::Status::error(
                fmt::format("the description of the feature \"{}\" is a {}, not a text", identifier,
                            platform::Value::typeName(description->type())));
        features.push_back(std::make_shared<KOPAFeature>(identifier, defaults));
    }
    return features;
}

std::vector<std::shared_ptr<KOPAFeature>> KOPAFeature::allFeatures() {
    std::vector<std::shared_ptr<KOPAFeature>> features;
    for (const auto& [identifier, feature] : table().byID) features.push_back(feature);
    return features;
}

std::shared_ptr<KOPAFeature> KOPAFeature::featureForID(std::string_view identifier) {
    auto found = table().byID.find(identifier);
    return found == table().byID.end() ? nullptr : found->second;
}

bool KOPAFeature::existsFeatureWithID(std::string_view identifier) {
    return featureForID(identifier) != nullptr;
}

const std::optional<std::string>& KOPAFeature::connectorMapForeignAppName() {
    return table().foreignAppName;
}

bool KOPAFeature::userHasFeatureWithID(const GWUser* user, std::string_view identifier) {
    auto feature = featureForID(identifier);
    return feature && feature->isActiveForUser(user);
}

bool KOPAFeature::userHasFeatureWithID(DLPObjectContext& context, const GWUser* user,
                                       std::string_view identifier) {
    auto feature = featureForID(identifier);
    return feature && feature->isActiveForUser(context, user);
}

bool KOPAFeature::currentUserHasFeatureWithID(std::string_view identifier) {
    auto user = KOPAHelper::activeUser();
    return user && userHasFeatureWithID(user.get(), identifier);
}

bool KOPAFeature::currentUserHasAnyFeatureWithIDs(const std::vector<std::string>& identifiers) {
    auto context = KOPAHelper::objectContext();
    return context && userOfContextHasAnyFeatureWithIDs(*context, identifiers);
}

bool KOPAFeature::userOfContextHasAnyFeatureWithIDs(DLPObjectContext& context,
                                                    const std::vector<std::string>& identifiers) {
    auto user = context.user();
    auto contact = user ? contactNumber(user.get()) : std::nullopt;
    if (!contact || !table().foreignAppName || identifiers.empty()) return false;
    platform::Array list(identifiers.begin(), identifiers.end());
    auto count =
        context.resultCountForEntityNamedQualifierLocumBindings(GWConnectorMap::kEntityName, kAnyLookup,
                                                                {{"appName", *table().foreignAppName},
                                                                 {"entity", kPermissionEntityType},
                                                                 {"identifiers", std::move(list)},
                                                                 {"contactID", *contact}});
    if (!count) {
        KOPA_LOG("checking features: {}", count.status().message());
        return false;
    }
    return *count != 0;
}

KOPAFeature::KOPAFeature(std::string identifier, const platform::Value& defaults)
    : m_identifier(std::move(identifier)) {
    if (const auto* description = defaults.find("description"); description && description->isString())
        m_description = description->asString();
}

platform::Result<std::shared_ptr<GWConnectorMap>> KOPAFeature::connectorMapForUser(DLPObjectContext& context,
                                                                                   const GWUser* user) const {
    if (!table().foreignAppName) return noAppName();
    auto contact = contactNumber(user);
    if (!contact) return std::shared_ptr<GWConnectorMap>();
    auto records = context.objectsForEntityNamedQualifierLocumBindings(GWConnectorMap::kEntityName, kLookup,
                                                                       {{"appName", *table().foreignAppName},
                                                                        {"entity", kPermissionEntityType},
                                                                        {"identifier", m_identifier},
                                                                        {"contactID", *contact}});
    if (!records) return records.status().withContext("looking up the permission of " + m_identifier);
    if (records->empty()) return std::shared_ptr<GWConnectorMap>();
    return std::dynamic_pointer_cast<GWConnectorMap>(records->back());
}

bool KOPAFeature::isActiveForUser(const GWUser* user) const {
    auto context = KOPAHelper::objectContext();
    return context && isActiveForUser(*context, user);
}

bool KOPAFeature::isActiveForUser(DLPObjectContext& context, const GWUser* user) const {
    if (!table().foreignAppName) return false;
    platform::Array contacts{int64_t{0}};
    if (auto contact = contactNumber(user); contact && *contact != 0) contacts.push_back(*contact);
    auto count =
        context.resultCountForEntityNamedQualifierLocumBindings(GWConnectorMap::kEntityName, kActiveLookup,
                                                                {{"appName", *table().foreignAppName},
                                                                 {"entity", kPermissionEntityType},
                                                                 {"identifier", m_identifier},
                                                                 {"contactIDs", std::move(contacts)}});
    if (!count) {
        KOPA_LOG("checking the feature {}: {}", m_identifier, count.status().message());
        return false;
    }
    return *count != 0;
}

platform::Status KOPAFeature::setActiveForUser(bool active, const GWUser* user) {
    auto context = KOPAHelper::objectContext();
    if (!context)
        return platform::Status::error(fmt::format(
            "cannot change the feature {}: nobody is signed in to a database; sign in first", m_identifier));
    return setActiveForUser(*context, active, user);
}

platform::Status KOPAFeature::setActiveForUser(DLPObjectContext& context, bool active, const GWUser* user) {
    auto contact = contactNumber(user);
    if (!contact)
        return platform::Status::error(
            fmt::format("cannot change the feature {} for {}: the user has no contact", m_identifier,
                        user->description()));
    if (!table().foreignAppName) return noAppName();
    platform::Dictionary bindings{{"appName", *table().foreignAppName},
                                  {"entity", kPermissionEntityType},
                                  {"identifier", m_identifier},
                                  {"contactID", *contact}};
    // Looked up afresh: another host may have granted or withdrawn since this one last looked.
    auto records =
        context.objectsForEntityNamedQualifierLocumBindings(GWConnectorMap::kEntityName, kLookup, bindings);
    if (!records) return records.status().withContext("looking up the permission of " + m_identifier);
    if (active && records->empty()) {
        auto created = context.createObjectForEntityNamedInsertSetupInitialValues(GWConnectorMap::kEntityName,
                                                                                  true, true);
        if (!created) return created.status().withContext("granting the feature " + m_identifier);
        auto map = std::static_pointer_cast<GWConnectorMap>(*created);
        map->setForeignAppName(*table().foreignAppName);
        map->setForeignEntityType(kPermissionEntityType);
        map->setForeignID(m_identifier);
        map->setContactID(*contact);
        // Hosts granting at once: the first save stores the record, the others find it under the
        // lock and leave theirs out, so one record remains.
        std::string lockName = fmt::format("feature-grant {} {}", *table().foreignAppName, m_identifier);
        if (auto status = context.guardInsert(map, std::move(lockName), kLookup, bindings,
                                              DLPObjectContext::SaveGuardAction::Drop);
            !status)
            return status.withContext("granting the feature " + m_identifier);
    } else if (!active) {
        // Every record of the user goes: two left by older hosts granting at once as well.
        for (const auto& record : *records)
            if (auto status = context.deleteObjectSkipTrash(record, true); !status)
                return status.withContext("withdrawing the feature " + m_identifier);
    }
    return context.saveChanges();
}

platform::Status KOPAFeature::setActiveForAllUsers(bool active) {
    return setActiveForUser(active, nullptr);
}

std::string KOPAFeature::description() const {
    return fmt::format("<KOPAFeature {}{}>", m_identifier,
                       m_description ? " \"" + *m_description + "\"" : "");
}
