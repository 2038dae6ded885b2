#include "VXShowcase.h"

#include <fmt/format.h>

#include <charconv>
#include <limits>

#include "VXShowcaseNoteController.h"
#include "VXShowcaseTemplateNote.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/MCUserDefaults.h"
#include "host/database/model/OptionsCache.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Menu.h"
#include "plugin/framework/Categories/DLPObjectContext+VEXA.h"
#include "plugin/framework/Categories/MCMenuManager+VEXA.h"
#include "plugin/framework/Categories/MCUserDefaults+VEXA.h"
#include "plugin/framework/Classes/VEXAContextualMenuManager.h"
#include "plugin/framework/Classes/VEXAFeature.h"
#include "plugin/framework/Classes/VEXAFeatureEditor.h"
#include "plugin/framework/Classes/VEXAHelper.h"
#include "plugin/framework/Classes/VEXALog.h"

ZANDREL_REGISTER_CLASS(VXShowcase)

namespace {

// The stored count: a number, or the registered default, which the host hands back as text.
// Anything else (text that is no count) counts as 0 rather than failing the command.
int64_t visitCount(const platform::Value& stored) {
    if (stored.isInteger()) return stored.asInteger();
    if (!stored.isString()) return 0;
    const std::string& text = stored.asString();
    int64_t count = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    return error == std::errc() && end == text.data() + text.size() ? count : 0;
}

}  // namespace

bool VXShowcase::init() {
    // The features first: a broken file (it ships inside the bundle; a missing one is named in
    // the message) ends the plug-in's start before it is the shared plug-in or observes anything.
    auto configuration = bundle() ? bundle()->pathForResource(kFeatureConfiguration) : std::nullopt;
    KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(
        kForeignAppName, configuration.value_or(std::filesystem::path("Resources") / kFeatureConfiguration));
    if (!KOPAPlugin::init()) return false;

    if (auto status = kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal(
            kVisitCountKey, platform::Value("Integer"), platform::Value(int64_t{0}), false);
        !status)
        KOPA_LOG("Registering the setting {} failed: {}", kVisitCountKey, status.message());

    if (auto status =
            kopaRegisterMenuItemAction(*MCMenuManager::sharedMenuManager(), localizeString("Template Note"),
                                       localizeString("Template Note description"), shared_from_this(),
                                       kTemplateNoteAction, {kTemplateClassName}, false, true);
        !status)
        KOPA_LOG("Registering the template note action failed: {}", status.message());
    addContextualMenuItem();
    return true;
}

void VXShowcase::dayliteHasFinishedLaunching() {
    KOPAPlugin::dayliteHasFinishedLaunching();
    // Again, in case the host set up its contextual menus after loading the plug-ins; an item
    // that is there already is left as it is.
    addContextualMenuItem();
}

void VXShowcase::addContextualMenuItem() {
    if (auto status = KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(
            kTemplateClassName, localizeString("Template Note"), localizeString("Template Note description"),
            kTemplateNoteAction, 0);
        !status)
        KOPA_LOG("Adding the template note to the contextual menu failed: {}", status.message());
}

void VXShowcase::addSubmenusForPluginsMenu(platform::Menu& pluginsMenu) {
    auto submenu = std::make_shared<platform::Menu>(localizeString("Showcase"));
    auto item = std::make_shared<platform::MenuItem>();
    item->setTitle(localizeString("Showcase"));
    item->setSubmenu(submenu);
    pluginsMenu.addItem(item);

    auto add = [&](const char* key, const char* action) {
        auto command = std::make_shared<platform::MenuItem>(localizeString(key), action, "");
        command->setTarget(shared_from_this());
        submenu->addItem(command);
    };
    add("Feature Permissions", kFeaturePermissionsAction);
    submenu->addItem(platform::MenuItem::separatorItem());
    add("Count a Visit", kCountVisitAction);
    add("Reset Visit Counter", kResetVisitsAction);
    add("Template Summary", kTemplateSummaryAction);
}

const char* VXShowcase::featureForAction(const std::string& action) {
    if (action == kCountVisitAction) return "visitCounter";
    if (action == kResetVisitsAction) return "resetVisits";
    if (action == kTemplateSummaryAction) return "templateSummary";
    return nullptr;
}

bool VXShowcase::validateMenuItem(const platform::MenuItem& item) {
    if (!KOPAHelper::objectContext()) return false;
    const char* feature = featureForAction(item.action());
    return !feature || KOPAFeature::currentUserHasFeatureWithID(feature);
}

bool VXShowcase::respondsToAction(const std::string& action) const {
    return action == kFeaturePermissionsAction || action == kTemplateNoteAction || featureForAction(action);
}

bool VXShowcase::performAction(const std::string& action, platform::Object* sender) {
    if (!respondsToAction(action)) return false;
    if (action == kTemplateNoteAction) return showTemplateNote(sender);
    // Checked again here: the action may come from elsewhere than a validated menu item.
    platform::MenuItem probe("", action, "");
    if (!validateMenuItem(probe)) {
        tell(localizeString("Not permitted"));
        return true;
    }
    if (action == kFeaturePermissionsAction)
        showFeaturePermissions();
    else if (action == kCountVisitAction)
        countVisit();
    else if (action == kResetVisitsAction)
        resetVisits();
    else
        showTemplateSummary();
    return true;
}

void VXShowcase::tell(const std::string& message) {
    presentMessageWithTitleSubtitleMessage(KOPAProductName, std::nullopt, message);
}

void VXShowcase::showFeaturePermissions() {
    auto editor = KOPAFeatureEditor::featureEditor();
    if (!editor || !editor->window()) {
        KOPA_LOG("The feature permission editor could not be opened: {}",
                 editor ? editor->loadStatus().message() : std::string("no editor"));
        tell(localizeString("Editor failed"));
        return;
    }
    // No reference is kept: the session registry holds the editor while it is open.
    editor->show();
}

void VXShowcase::countVisit() {
    auto defaults = KOPAHelper::mcUserDefaults();
    if (!defaults) return;
    // Hosts counting at the same moment each add their visit: the increment is computed again
    // from the newer count whenever another host stored one in between.
    auto stored = defaults->updateObjectForKey(kVisitCountKey, [](const platform::Value& current) {
        int64_t count = visitCount(current);
        if (count < std::numeric_limits<int64_t>::max()) ++count;
        return platform::Value(count);
    });
    if (!stored) {
        KOPA_LOG("Storing the visit count failed: {}", stored.status().message());
        tell(stored.status().message());
        return;
    }
    tell(fmt::format("{} {}", localizeString("Visits counted:"), visitCount(*stored)));
}

void VXShowcase::resetVisits() {
    auto defaults = KOPAHelper::mcUserDefaults();
    if (!defaults) return;
    if (auto status = defaults->removeObjectForKey(kVisitCountKey); !status) {
        KOPA_LOG("Resetting the visit count failed: {}", status.message());
        tell(status.message());
        return;
    }
    auto stored = defaults->objectForKey(kVisitCountKey);
    tell(fmt::format("{} {}", localizeString("Visits counted:"), stored ? visitCount(*stored) : 0));
}

void VXShowcase::showTemplateSummary() {
    auto context = KOPAHelper::objectContext();
    if (!context) return;
    auto templates = context->optionsCache().activeCustomRecordSetDefinitions();
    auto notes = VXShowcaseTemplateNote::numberOfNotes(*context);
    if (!templates || !notes) {
        tell(!templates ? templates.status().message() : notes.status().message());
        return;
    }
    tell(fmt::format("{} {}\n{} {}", localizeString("Active form templates:"), templates->size(),
                     localizeString("Form templates with a note:"), *notes));
}

bool VXShowcase::showTemplateNote(platform::Object* sender) {
    auto context = KOPAHelper::objectContext();
    auto object = sender ? std::dynamic_pointer_cast<DLPObject>(sender->weak_from_this().lock()) : nullptr;
    if (!context || !object) {
        KOPA_LOG("A template note needs a form template and somebody signed in (sender {})",
                 sender ? sender->description() : std::string("none"));
        return false;
    }
    auto mine = kopaObjectForObject(*context, object);
    auto formTemplate = mine ? std::dynamic_pointer_cast<CustomRecordSetDefinition>(*mine) : nullptr;
    if (!formTemplate) {
        KOPA_LOG("No template note for {}: {}", object->description(),
                 mine ? std::string("not a saved form template of this database") : mine.status().message());
        return false;
    }
    if (formTemplate->primaryKeyValue() <= 0) {
        tell(localizeString("Save the template first"));
        return true;
    }
    auto dialog = std::make_shared<VXShowcaseNoteController>(formTemplate);
    if (!dialog->initWithWindowNibName("VXShowcaseNoteController")) return false;
    dialog->runSheetInWindowCompletion(nullptr, nullptr);
    return true;
}
