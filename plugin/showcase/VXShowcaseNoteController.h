#pragma once

// VXShowcaseNoteController: the small dialog that asks for a form template's note. It opens with
// the stored note (and who wrote it) filled in; Save stores what is typed, an empty text removing
// the note; Cancel leaves it as it was. A refused note (too long, say) is explained and the
// dialog stays open so it can be shortened.

#include <memory>

#include "platform/ui/TextField.h"
#include "plugin/framework/Classes/VEXADialogController.h"

class CustomRecordSetDefinition;

class VXShowcaseNoteController : public KOPADialogController {
public:
    explicit VXShowcaseNoteController(std::shared_ptr<CustomRecordSetDefinition> formTemplate);

    void awakeFromNib() override;
    void saveNote(platform::Object* sender);
    void cancelNote(platform::Object* sender);

    const std::shared_ptr<CustomRecordSetDefinition>& formTemplate() const { return m_template; }

private:
    std::shared_ptr<CustomRecordSetDefinition> m_template;
    std::weak_ptr<platform::TextField> m_templateLabel;
    std::weak_ptr<platform::TextField> m_authorLabel;
    std::weak_ptr<platform::TextField> m_noteField;
};
