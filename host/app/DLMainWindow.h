#pragma once

// DLMainWindow and DLMainWindowController: the host's main window for a signed-in database.
// The window answers objectContext(): the context of its document. Its table "templates" lists
// the form templates; a row's contextual menu is the one the menu manager builds for the row's
// CustomRecordSetDefinition (MCMenuManager::contextualMenuForObject), from the application's
// user defaults.

#include <memory>

#include "platform/foundation/KeyValueCoding.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowController.h"

class CustomRecordSetDefinition;
class DLPObjectContext;
class DLMainView;

class DLMainWindow : public platform::Window {
public:
    using platform::Window::Window;
    std::shared_ptr<DLPObjectContext> objectContext() const;
};

class DLMainWindowController : public platform::WindowController,
                               public platform::TableViewDataSource,
                               public platform::TableViewDelegate,
                               public platform::KeyValueCoding {
public:
    // Builds the window: who is signed in and the database's form templates.
    static std::shared_ptr<DLMainWindowController> make(const std::string& title);

    // Re-reads the form templates shown (after a command changed them).
    void refresh();

    size_t numberOfRowsInTableView(const platform::TableView& table) override;
    platform::Value objectValueForTableColumnRow(const platform::TableView& table,
                                                 const platform::TableColumn& column, size_t row) override;
    std::shared_ptr<platform::Menu> tableViewMenuForRow(platform::TableView& table, size_t row) override;

    // The form template shown in the row, or none.
    std::shared_ptr<CustomRecordSetDefinition> templateAtRow(size_t row) const;
    const std::shared_ptr<platform::TableView>& table() const { return m_table; }

    // The area showing the selected part of the host (key "selectedMainView"); its content view
    // is what plug-ins reach for. The terminal front end shows the template table instead.
    const std::shared_ptr<DLMainView>& selectedMainView() const { return m_mainView; }
    platform::ObjectPtr valueForKey(const std::string& key) const override;

private:
    std::shared_ptr<DLMainView> m_mainView;
    std::vector<std::vector<platform::Value>> m_rows;
    std::vector<std::shared_ptr<CustomRecordSetDefinition>> m_templates;  // one per row
    std::shared_ptr<platform::TableView> m_table;
};
