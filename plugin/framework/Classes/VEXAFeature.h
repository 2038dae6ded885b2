#pragma once

// KOPAFeature: a plug-in's named features and who may use them.
//
// The features come from the plug-in's feature configuration file, a JSON object whose members
// are the features: { "export": { "description": "Export to CSV" }, ... }. A member value must
// be an object; its "description", when present, a text; other members are ignored. The file
// ships with the plug-in, so one that cannot be read or is malformed is a programming error:
// initialisation stops the process with a message naming the file and the fault, and no part
// of such a file is ever used.
//
// Grants are permission records in the host database (connector maps): foreignAppName = the
// plug-in's foreign application name, foreignEntityType = "FeaturePermission", foreignID = the
// feature's identifier, contactID = the user's contact, or 0 for all users. Nothing is cached:
// every check asks the database, so a grant that another user or another host process saved
// counts at the next check. A feature is active for a user who has a record of it, or when the
// all-users record exists. A grant leaves one record even when several hosts grant at once;
// several records for one user (left by older versions) are allowed, any one grants and a
// withdrawal removes them all.
//
// The operations without a context use the current database (KOPAHelper::objectContext());
// with nobody signed in every check answers false and every change is an error. Checks that
// meet a database failure log it and answer false: a permission is never granted by accident.
//
// Main thread only; initialisation must be done before the other class operations are used
// (before it there are no features and no check succeeds).

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

class DLPObjectContext;
class GWConnectorMap;
class GWUser;

// A feature configuration file that cannot be read or is malformed. It ships with the plug-in,
// so the plug-in cannot work without it: its initialisation ends with this, and the host leaves
// that plug-in out.
class KOPAFeatureConfigurationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class KOPAFeature : public platform::Object {
public:
    static constexpr const char* kPermissionEntityType = "FeaturePermission";

    // Sets the foreign application name first, then replaces the whole feature table with the
    // file's features. Features handed out before stay valid. A broken file empties the table and
    // throws KOPAFeatureConfigurationError naming the file.
    static void initializeWithConnectorMapForeignAppNameConfigFile(const std::string& foreignAppName,
                                                                   const std::filesystem::path& configFile);
    // The table a configuration text gives, or why the text is malformed (nothing partial).
    static platform::Result<std::vector<std::shared_ptr<KOPAFeature>>> featuresFromConfiguration(
        std::string_view json);

    static std::vector<std::shared_ptr<KOPAFeature>> allFeatures();  // in identifier order
    static std::shared_ptr<KOPAFeature> featureForID(std::string_view identifier);
    static bool existsFeatureWithID(std::string_view identifier);
    static const std::optional<std::string>& connectorMapForeignAppName();

    // Whether the feature is active for the user (none: whether the all-users record exists);
    // an unknown identifier gives false.
    static bool userHasFeatureWithID(const GWUser* user, std::string_view identifier);
    static bool userHasFeatureWithID(DLPObjectContext& context, const GWUser* user,
                                     std::string_view identifier);
    static bool currentUserHasFeatureWithID(std::string_view identifier);
    // Whether the signed-in user has a record of their own for one of the identifiers, known
    // features or not; the all-users record does not count here. False with nobody signed in
    // and for an empty list.
    static bool currentUserHasAnyFeatureWithIDs(const std::vector<std::string>& identifiers);
    static bool userOfContextHasAnyFeatureWithIDs(DLPObjectContext& context,
                                                  const std::vector<std::string>& identifiers);

    // initWithIdentifier:defaults: -- `defaults` is the feature's object in the configuration.
    KOPAFeature(std::string identifier, const platform::Value& defaults);

    const std::string& identifier() const { return m_identifier; }
    const std::optional<std::string>& featureDescription() const { return m_description; }

    // The user's permission record of this feature (none: the all-users record): the last one
    // the host lists when there are several, null when there is none.
    platform::Result<std::shared_ptr<GWConnectorMap>> connectorMapForUser(DLPObjectContext& context,
                                                                          const GWUser* user) const;
    bool isActiveForUser(const GWUser* user) const;
    bool isActiveForUser(DLPObjectContext& context, const GWUser* user) const;
    // Grants (creates the user's record when the database holds none) or withdraws (deletes every
    // record of the user, the all-users record for none) and saves the context either way. Both
    // look the records up afresh. Several hosts granting at once leave one record: the save
    // checks under a lock, inside its transaction, that no other host stored one first, and
    // leaves its own out if one did. The error is a failed lookup, change or save; a failed
    // save leaves the change pending in the context.
    platform::Status setActiveForUser(bool active, const GWUser* user);
    platform::Status setActiveForUser(DLPObjectContext& context, bool active, const GWUser* user);
    platform::Status setActiveForAllUsers(bool active);

    std::string description() const override;

private:
    std::string m_identifier;
    std::optional<std::string> m_description;
};
