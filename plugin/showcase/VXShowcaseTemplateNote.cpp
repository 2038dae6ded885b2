#include "VXShowcaseTemplateNote.h"

#include <fmt/format.h>

#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWConnectorMap.h"
#include "platform/foundation/Value.h"
#include "plugin/framework/Categories/GWConnectorMap+VEXA.h"

namespace {
constexpr const char* kForeignAppName = "Showcase";
constexpr const char* kLookup =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $templateKey";
constexpr const char* kAllNotes = "foreignAppName = $appName AND foreignEntityType = $entity";

std::string keyText(const CustomRecordSetDefinition& formTemplate) {
    return std::to_string(formTemplate.primaryKeyValue());
}
}  // namespace

platform::Result<std::shared_ptr<GWConnectorMap>> VXShowcaseTemplateNote::recordForTemplate(
    DLPObjectContext& context, const CustomRecordSetDefinition& formTemplate) {
    auto records = context.objectsForEntityNamedQualifierLocumBindings(
        GWConnectorMap::kEntityName, kLookup,
        {{"appName", kForeignAppName}, {"entity", kEntityType}, {"templateKey", keyText(formTemplate)}});
    if (!records) return records.status().withContext("reading the note of a form template");
    if (records->empty()) return std::shared_ptr<GWConnectorMap>();
    return std::dynamic_pointer_cast<GWConnectorMap>(records->back());
}

platform::Result<std::optional<VXShowcaseTemplateNote::Note>> VXShowcaseTemplateNote::noteForTemplate(
    DLPObjectContext& context, const CustomRecordSetDefinition& formTemplate) {
    auto record = recordForTemplate(context, formTemplate);
    if (!record) return record.status();
    if (!*record) return std::optional<Note>();
    platform::Value json = kopaJSONDictionaryForForeignDatabase(**record);
    const platform::Value* text = json.find("text");
    if (!text || !text->isString()) return std::optional<Note>();
    Note note{text->asString(), {}};
    if (const platform::Value* author = json.find("author"); author && author->isString())
        note.author = author->asString();
    return std::optional<Note>(std::move(note));
}

platform::Status VXShowcaseTemplateNote::setNoteForTemplate(DLPObjectContext& context,
                                                            const CustomRecordSetDefinition& formTemplate,
                                                            const Note& note) {
    if (note.text.size() > kMaxTextBytes)
        return platform::Status::error(
            fmt::format("the note is {} bytes long and a note holds at most {}; shorten it", note.text.size(),
                        kMaxTextBytes));
    if (formTemplate.primaryKeyValue() <= 0)
        return platform::Status::error("the form template is not saved yet; save it first (File > Save)");
    auto record = recordForTemplate(context, formTemplate);
    if (!record) return record.status();
    if (note.text.empty()) {
        if (!*record) return platform::Status::ok();
        if (auto deleted = context.deleteObjectSkipTrash(*record, true); !deleted)
            return deleted.withContext("removing the note");
        return context.saveChanges();
    }
    std::shared_ptr<GWConnectorMap> map = *record;
    if (!map) {
        auto created = context.createObject<GWConnectorMap>(true);
        if (!created) return created.status().withContext("adding the note");
        map = *created;
        map->setForeignAppName(kForeignAppName);
        map->setForeignEntityType(kEntityType);
        map->setForeignID(keyText(formTemplate));
    }
    platform::Dictionary json{{"text", note.text}, {"author", note.author}};
    if (auto stored = kopaSetJSONDictionaryForForeignDatabase(*map, platform::Value(std::move(json)));
        !stored)
        return stored;
    return context.saveChanges();
}

platform::Result<int64_t> VXShowcaseTemplateNote::numberOfNotes(DLPObjectContext& context) {
    return context.resultCountForEntityNamedQualifierLocumBindings(
        GWConnectorMap::kEntityName, kAllNotes, {{"appName", kForeignAppName}, {"entity", kEntityType}});
}
