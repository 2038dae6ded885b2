#pragma once

// VXShowcaseTemplateNote: the short note Showcase keeps with a form template, as a JSON object
// { "text": ..., "author": ... } in the foreignDatabase text of a connector map marked
// foreignAppName "Showcase", foreignEntityType "TemplateNote" and foreignID the template's
// stored key. A template has at most one note; an empty text removes it.
//
// Only saved templates can carry a note: a new template's key is temporary until the host saves
// it, and a note pointing at it would be lost. Notes are read afresh on every call.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Status.h"

class CustomRecordSetDefinition;
class DLPObjectContext;
class GWConnectorMap;

class VXShowcaseTemplateNote {
public:
    static constexpr const char* kEntityType = "TemplateNote";
    // Longer texts are refused: a note is a few words, not a document.
    static constexpr size_t kMaxTextBytes = 1000;

    struct Note {
        std::string text;
        std::string author;
    };

    // The template's note record (the last one, should there be several), or null.
    static platform::Result<std::shared_ptr<GWConnectorMap>> recordForTemplate(
        DLPObjectContext& context, const CustomRecordSetDefinition& formTemplate);
    // The template's note, or nothing when it has none (or its text is unreadable).
    static platform::Result<std::optional<Note>> noteForTemplate(
        DLPObjectContext& context, const CustomRecordSetDefinition& formTemplate);
    // Stores the note (an empty text deletes it) and saves the context. A text that is too long or
    // a template that is not saved yet is refused with the reason, and nothing changes.
    static platform::Status setNoteForTemplate(DLPObjectContext& context,
                                               const CustomRecordSetDefinition& formTemplate,
                                               const Note& note);
    // How many templates have a note.
    static platform::Result<int64_t> numberOfNotes(DLPObjectContext& context);
};
