#include "VXShowcaseNoteController.h"

#include "VXShowcaseTemplateNote.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"
#include "platform/foundation/Error.h"
#include "plugin/framework/Classes/VEXAHelper.h"
#include "plugin/framework/Classes/VEXALog.h"
#include "plugin/framework/Classes/VEXAPlugin.h"

namespace {
std::string textOf(const platform::Value& value) {
    return value.isString() ? value.asString() : std::string();
}

std::string localized(const std::string& key) {
    auto plugin = KOPAPlugin::sharedPlugin();
    return plugin ? plugin->localizeString(key) : key;
}

void report(const std::string& what, const platform::Status& status) {
    KOPAPlugin::classHandleError(
        platform::Error("VXShowcaseDomain", 1, localized(what) + "\n\n" + status.message()));
}
}  // namespace

VXShowcaseNoteController::VXShowcaseNoteController(std::shared_ptr<CustomRecordSetDefinition> formTemplate)
    : m_template(std::move(formTemplate)) {
    bindOutlet("templateLabel", m_templateLabel);
    bindOutlet("authorLabel", m_authorLabel);
    bindOutlet("noteField", m_noteField);
    bindAction("saveNote:", [this](platform::Object* sender) { saveNote(sender); });
    bindAction("cancelNote:", [this](platform::Object* sender) { cancelNote(sender); });
}

void VXShowcaseNoteController::awakeFromNib() {
    if (auto label = m_templateLabel.lock()) label->setStringValue(textOf(m_template->name()));
    auto context = KOPAHelper::objectContext();
    if (!context) return;
    auto note = VXShowcaseTemplateNote::noteForTemplate(*context, *m_template);
    if (!note) {
        KOPA_LOG("Reading the note failed: {}", note.status().message());
        return;
    }
    if (!*note) return;
    if (auto field = m_noteField.lock()) field->setStringValue((*note)->text);
    if (auto label = m_authorLabel.lock(); label && !(*note)->author.empty())
        label->setStringValue(localized("Note by") + " " + (*note)->author);
}

void VXShowcaseNoteController::saveNote(platform::Object*) {
    auto context = KOPAHelper::objectContext();
    auto field = m_noteField.lock();
    if (!context || !field) {
        close();
        return;
    }
    field->commitEditing();  // the text as typed so far counts
    VXShowcaseTemplateNote::Note note{field->stringValue(), {}};
    if (auto user = context->user()) note.author = textOf(user->name());
    if (auto status = VXShowcaseTemplateNote::setNoteForTemplate(*context, *m_template, note); !status) {
        report("The note could not be saved.", status);
        return;
    }
    closeWithResult(1);
}

void VXShowcaseNoteController::cancelNote(platform::Object*) {
    close();
}
