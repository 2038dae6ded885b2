#include "host/app/DLMainWindow.h"

#include <algorithm>

#include "host/app/DLDocument.h"
#include "host/app/DLMainView.h"
#include "host/app/MCMenuManager.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/OptionsCache.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TextField.h"

std::shared_ptr<DLPObjectContext> DLMainWindow::objectContext() const {
    auto controller = windowController();
    auto document = controller ? std::dynamic_pointer_cast<DLDocument>(controller->document()) : nullptr;
    return document ? document->objectContext() : nullptr;
}

std::shared_ptr<DLMainWindowController> DLMainWindowController::make(const std::string& title) {
    auto controller = std::make_shared<DLMainWindowController>();
    auto window = std::make_shared<DLMainWindow>(title, platform::Rect{0, 0, 800, 500});
    auto label = std::make_shared<platform::TextField>("Form templates (Plug-ins menu: Zandrel):");
    label->setEditable(false);
    label->setIdentifier("heading");
    window->contentView()->addSubview(label);
    controller->m_table = std::make_shared<platform::TableView>();
    controller->m_table->setIdentifier("templates");
    controller->m_table->addTableColumn({"name", "Name"});
    controller->m_table->addTableColumn({"active", "Active"});
    controller->m_table->addTableColumn({"fields", "Fields"});
    controller->m_table->setDataSource(controller);
    controller->m_table->setDelegate(controller);
    window->contentView()->addSubview(controller->m_table);
    controller->m_mainView = std::make_shared<DLMainView>();
    controller->initWithWindow(window);
    // Back to this window (a sheet or another window closed): show what is stored now, which
    // other hosts may have changed meanwhile.
    // Asked to show it (`show`): the same.
    std::weak_ptr<DLMainWindowController> weak = controller;
    for (const char* name :
         {platform::kWindowDidBecomeKeyNotification, platform::kWindowWillShowContentsNotification})
        platform::NotificationCenter::defaultCenter().addObserver(std::weak_ptr<platform::Object>(controller),
                                                                  name, window.get(),
                                                                  [weak](const platform::Notification&) {
                                                                      if (auto strong = weak.lock())
                                                                          strong->refresh();
                                                                  });
    return controller;
}

platform::ObjectPtr DLMainWindowController::valueForKey(const std::string& key) const {
    if (key == "selectedMainView") return m_mainView;
    throw platform::UndefinedKeyException(className(), key);
}

void DLMainWindowController::refresh() {
    auto main = std::dynamic_pointer_cast<DLMainWindow>(window());
    auto context = main ? main->objectContext() : nullptr;
    if (!context) return;
    // A failed read (the file locked by another program) keeps the rows shown so far.
    auto templates =
        context->objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "", {});
    if (!templates) return;
    // The templates in the order of the duplicate dialog's pop-up, so row n and item n agree.
    std::vector<std::pair<std::string, std::shared_ptr<CustomRecordSetDefinition>>> ordered;
    for (const auto& object : templates.value()) {
        auto t = std::dynamic_pointer_cast<CustomRecordSetDefinition>(object);
        if (!t) continue;
        auto name = t->name();
        ordered.emplace_back(name.isString() ? name.asString() : std::string(), t);
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return host::OptionsCache::ordersBefore(a.first, a.second->primaryKeyValue(), b.first,
                                                b.second->primaryKeyValue());
    });
    m_rows.clear();
    m_templates.clear();
    for (const auto& [name, t] : ordered) {
        // Counted, not loaded: the window must stay cheap however many fields the templates hold.
        auto count = context->resultCountForEntityNamedQualifierLocumBindings(
            "CustomRecordDefinition", "customRecordSetDefinitionID == $template",
            platform::Dictionary{{"template", platform::Value(t->primaryKeyValue())}});
        platform::Value fieldCount = count ? platform::Value(count.value()) : platform::Value();
        m_rows.push_back({t->name(), t->active(), fieldCount});
        m_templates.push_back(t);
    }
    m_table->reloadData();
    window()->display();
}

size_t DLMainWindowController::numberOfRowsInTableView(const platform::TableView&) {
    return m_rows.size();
}

platform::Value DLMainWindowController::objectValueForTableColumnRow(const platform::TableView& table,
                                                                     const platform::TableColumn& column,
                                                                     size_t row) {
    const auto& columns = table.tableColumns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].identifier == column.identifier && row < m_rows.size()) return m_rows[row][i];
    return {};
}

std::shared_ptr<CustomRecordSetDefinition> DLMainWindowController::templateAtRow(size_t row) const {
    return row < m_templates.size() ? m_templates[row] : nullptr;
}

std::shared_ptr<platform::Menu> DLMainWindowController::tableViewMenuForRow(platform::TableView&,
                                                                            size_t row) {
    auto formDef = templateAtRow(row);
    if (!formDef) return nullptr;
    return MCMenuManager::sharedMenuManager()->contextualMenuForObject(formDef,
                                                                       platform::UserDefaults::standard());
}
