#pragma once

// VXZandrelPreferencesController: the duplicate form template dialog. The person picks one of
// the active form templates and types a new name; the dialog copies the template with all its
// field definitions into the current object context under that name, and saves it before it
// says "Success!": the name is checked once more inside the save (under a lock), so two hosts
// copying under one name at once cannot both succeed -- the second sees "Name already in use".
// A save that fails takes the copy back out and reports why (the dialog stays open); a save
// whose outcome the database could not confirm keeps the copy for the host to resolve.

#include <memory>
#include <vector>

#include "framework/Classes/VEXADialogController.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TextField.h"

class CustomRecordSetDefinition;

class VXZandrelPreferencesController : public KOPADialogController {
public:
    VXZandrelPreferencesController();

    void awakeFromNib() override;
    void cancelInput(platform::Object* sender);
    void runAction(platform::Object* sender);

    std::shared_ptr<platform::PopUpButton> existingFormDefPopUp() const {
        return m_existingFormDefPopUp.lock();
    }
    std::shared_ptr<platform::TextField> duplicateFormDefNameTextField() const {
        return m_duplicateFormDefNameTextField.lock();
    }
    const std::vector<std::shared_ptr<CustomRecordSetDefinition>>& existingFormDefs() const {
        return m_existingFormDefs;
    }
    void setExistingFormDefs(std::vector<std::shared_ptr<CustomRecordSetDefinition>> defs) {
        m_existingFormDefs = std::move(defs);
    }

private:
    std::weak_ptr<platform::PopUpButton> m_existingFormDefPopUp;
    std::weak_ptr<platform::TextField> m_duplicateFormDefNameTextField;
    std::vector<std::shared_ptr<CustomRecordSetDefinition>> m_existingFormDefs;
};
