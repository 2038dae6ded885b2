#include "VXZandrelPreferencesController.h"

#include <fmt/format.h>

#include <optional>

#include "framework/Classes/VEXAHelper.h"
#include "framework/Classes/VEXALog.h"
#include "framework/Classes/VEXAPlugin.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "platform/ui/Application.h"

VXZandrelPreferencesController::VXZandrelPreferencesController() {
    bindOutlet("existingFormDefPopUp", m_existingFormDefPopUp);
    bindOutlet("duplicateFormDefNameTextField", m_duplicateFormDefNameTextField);
    bindAction("runAction:", [this](platform::Object* sender) { runAction(sender); });
    bindAction("cancelInput:", [this](platform::Object* sender) { cancelInput(sender); });
}

void VXZandrelPreferencesController::awakeFromNib() {
    m_existingFormDefs.clear();
    std::optional<platform::Status> readFailure;
    if (auto context = KOPAHelper::objectContext()) {
        auto active = context->optionsCache().activeCustomRecordSetDefinitions();
        if (active)
            m_existingFormDefs = active.value();
        else
            readFailure = active.status();
    }
    auto popUp = existingFormDefPopUp();
    if (popUp) {
        popUp->removeAllItems();
        for (const auto& formDef : m_existingFormDefs) {
            // A template without a name is listed with an empty title, not with how "no value" prints.
            platform::Value name = formDef->name();
            popUp->addItemWithTitle(name.isString() ? name.asString() : std::string());
        }
    }
    // An empty list would read as "there are no templates": the database's failure is said as such.
    if (readFailure)
        KOPAPlugin::classHandleError(
            platform::Error("VXZandrelDomain", 2,
                            fmt::format("The form templates could not be read: {}", readFailure->message()),
                            readFailure->message()));
}

void VXZandrelPreferencesController::cancelInput(platform::Object*) {
    close();
}

namespace {
constexpr const char* kNameInUseTitle = "Name already in use";
constexpr const char* kNameInUseMessage = "An existing form template has been detected with the same name.";
constexpr const char* kNameInUseButton = "I'll try again...";

void showAlert(const std::string& title, const std::string& message, const std::string& button) {
    platform::Application::shared().runAlertPanel({title, message, button, "", "", false});
}

// Copies the template and its field definitions into `context`, the signed-in user's current
// context (looked up once: nothing runs in between that could change it). On a failure of the
// host, every object created so far is deleted again, so a half copy never reaches the database.
platform::Status duplicate(DLPObjectContext& context, CustomRecordSetDefinition& source,
                           const std::string& newName, std::vector<std::shared_ptr<DLPObject>>& created) {
    auto undo = [&](platform::Status status) {
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            (void)context.deleteObjectSkipTrash(*it, true);
        return status;
    };
    try {
        auto made = context.createObjectForEntityNamedInsert("CustomRecordSetDefinition", true);
        if (!made) return made.status();
        created.push_back(made.value());
        auto copy = std::dynamic_pointer_cast<CustomRecordSetDefinition>(made.value());
        copy->setActive(source.active());
        copy->setDetails(source.details());
        copy->setForContact(source.forContact());
        copy->setForGroup(source.forGroup());
        copy->setForOpportunity(source.forOpportunity());
        copy->setForOrganization(source.forOrganization());
        copy->setForProject(source.forProject());
        copy->setName(platform::Value(newName));

        auto fields = source.customRecordDefinitions();
        if (!fields) return undo(fields.status());
        for (const auto& field : fields.value()) {
            auto madeField = context.createObjectForEntityNamedInsert("CustomRecordDefinition", true);
            if (!madeField) return undo(madeField.status());
            created.push_back(madeField.value());
            auto fieldCopy = std::dynamic_pointer_cast<CustomRecordDefinition>(madeField.value());
            fieldCopy->setActive(field->active());
            fieldCopy->setDefaultValue(field->defaultValue());
            fieldCopy->setDetails(field->details());
            fieldCopy->setName(field->name());
            fieldCopy->setOptions(field->options());
            fieldCopy->setTypeCode(field->typeCode());
            if (auto added = copy->addToCustomRecordDefinitions(fieldCopy); !added) return undo(added);
        }
    } catch (const std::exception& e) {
        return undo(platform::Status::error(e.what()));
    }
    return platform::Status::ok();
}
}  // namespace

void VXZandrelPreferencesController::runAction(platform::Object*) {
    auto popUp = existingFormDefPopUp();
    auto nameField = duplicateFormDefNameTextField();
    int64_t selected = popUp ? popUp->indexOfSelectedItem() : -1;
    if (selected < 0 || static_cast<size_t>(selected) >= m_existingFormDefs.size()) {
        close();
        return;
    }
    if (nameField) nameField->commitEditing();  // the text as typed so far counts
    std::string newName = nameField ? nameField->stringValue() : std::string();
    if (newName.empty()) {
        close();
        return;
    }
    for (const auto& formDef : m_existingFormDefs) {
        // The stored name itself: a template without one never takes a typed name.
        platform::Value name = formDef->name();
        if (name.isString() && name.asString() == newName) {
            showAlert(kNameInUseTitle, kNameInUseMessage, kNameInUseButton);
            return;
        }
    }
    auto source = m_existingFormDefs[static_cast<size_t>(selected)];
    auto context = KOPAHelper::objectContext();
    if (!context) {
        close();
        return;
    }
    std::vector<std::shared_ptr<DLPObject>> created;
    auto reportFailure = [](const platform::Status& status) {
        // Ends at the plug-in object: logged and shown; the dialog stays open, nothing was kept.
        KOPAPlugin::classHandleError(
            platform::Error("VXZandrelDomain", 1,
                            fmt::format("The form template could not be duplicated: {}", status.message()),
                            status.message()));
    };
    if (auto status = duplicate(*context, *source, newName, created); !status) {
        reportFailure(status);
        return;
    }
    // "Success!" must mean stored: another host may have taken the name since this dialog
    // opened, so the copy is saved now, with the name checked again inside the save itself.
    auto undo = [&] {
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            (void)context->deleteObjectSkipTrash(*it, true);
    };
    platform::Dictionary bindings;
    bindings["name"] = platform::Value(newName);
    auto guarded = context->guardInsert(created.front(), "CustomRecordSetDefinition.name:" + newName,
                                        "name == $name AND active == YES", bindings,
                                        DLPObjectContext::SaveGuardAction::Refuse, kNameInUseMessage);
    platform::Status saved = guarded ? context->saveChanges() : guarded;
    if (!saved && saved.code() == platform::Status::Code::Conflict) {
        undo();
        showAlert(kNameInUseTitle, kNameInUseMessage, kNameInUseButton);
        return;
    }
    if (!saved && saved.code() == platform::Status::Code::Unknown) {
        // Perhaps stored, perhaps not: the copy stays pending and the host finds out and saves
        // it (once) when the database answers; nothing here may claim either outcome.
        close();
        showAlert("The copy is not confirmed yet",
                  fmt::format("{}\n\nThe copy is kept. The host asks the database whether it was stored "
                              "when the database answers again, and saves it if it was not.",
                              saved.message()),
                  "OK");
        return;
    }
    if (!saved) {
        undo();
        reportFailure(saved);
        return;
    }
    close();
    showAlert("Success!", "The selected form template has been duplicated.", "Thanks!");
}
