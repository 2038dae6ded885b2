#include "plugin/framework/Classes/VEXAFeatureEditor.h"

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"
#include "host/database/model/OptionsCache.h"
#include "platform/foundation/Error.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Window.h"
#include "plugin/framework/Classes/VEXAFeature.h"
#include "plugin/framework/Classes/VEXAHelper.h"
#include "plugin/framework/Classes/VEXALog.h"
#include "plugin/framework/Classes/VEXAPlugin.h"

namespace {
constexpr const char* kAllUsersTitle = "All";

std::string nameOf(const GWUser* user) {
    if (!user) return kAllUsersTitle;
    platform::Value name = user->name();
    return name.isString() ? name.asString() : std::string();
}
}  // namespace

KOPAFeatureEditor::KOPAFeatureEditor()
    : m_featureArrayController(std::make_shared<platform::ArrayController>()) {
    bindOutlet("featureTableView", m_featureTableView);
    bindOutlet("userTableView", m_userTableView);
    m_featureArrayController->setValueReader([](const platform::Object& object, std::string_view key) {
        const auto* feature = dynamic_cast<const KOPAFeature*>(&object);
        if (!feature) return platform::Value();
        if (key == "identifier") return platform::Value(feature->identifier());
        if (key == "featureDescription" && feature->featureDescription())
            return platform::Value(*feature->featureDescription());
        return platform::Value();
    });
}

std::shared_ptr<KOPAFeatureEditor> KOPAFeatureEditor::featureEditor() {
    auto editor = std::make_shared<KOPAFeatureEditor>();
    if (!editor->initWithWindowNibName(kNibName)) return nullptr;
    return editor;
}

void KOPAFeatureEditor::show() {
    runWindow(nullptr);
}

void KOPAFeatureEditor::windowDidLoad() {
    KOPADialogController::windowDidLoad();

    // Rebuilt, not appended to: the second run must leave what one run would.
    m_users.assign(1, nullptr);
    if (auto context = KOPAHelper::objectContext()) {
        auto active = context->optionsCache().activeUsers();
        if (active)
            m_users.insert(m_users.end(), active->begin(), active->end());
        else
            KOPA_LOG("Reading the users failed: {}", active.status().message());
    }

    auto self = sharedAs<KOPAFeatureEditor>();
    if (auto features = featureTableView()) {
        features->setDelegate(self);
        m_featureArrayController->bindTable(features);
    }
    std::vector<platform::ObjectPtr> all;
    for (auto& feature : KOPAFeature::allFeatures()) all.push_back(std::move(feature));
    m_featureArrayController->setContent(std::move(all));
    if (auto users = userTableView()) {
        users->setDataSource(self);
        users->setDelegate(self);
        users->reloadData();
    }
    // Back at the editor after working elsewhere, the boxes show the database as it is now:
    // grants made meanwhile, by this host or another, are what a tick then acts on.
    auto& center = platform::NotificationCenter::defaultCenter();
    if (m_becameKeyObserver) center.removeObserver(*m_becameKeyObserver);
    m_becameKeyObserver.reset();
    if (isWindowLoaded() && window()) {
        std::weak_ptr<KOPAFeatureEditor> weak = self;
        m_becameKeyObserver = center.addObserver(std::weak_ptr<platform::Object>(self),
                                                 platform::kWindowDidBecomeKeyNotification, window().get(),
                                                 [weak](const platform::Notification&) {
                                                     if (auto editor = weak.lock()) editor->reloadUsers();
                                                 });
    }
}

bool KOPAFeatureEditor::isUserTable(const platform::TableView& table) const {
    return &table == m_userTableView.lock().get();
}

const GWUser* KOPAFeatureEditor::userAtRow(size_t row) const {
    return row < m_users.size() ? m_users[row].get() : nullptr;
}

void KOPAFeatureEditor::reloadUsers() {
    if (auto users = userTableView()) users->reloadData();
}

void KOPAFeatureEditor::tableViewSelectionDidChange(platform::TableView& table) {
    // The user table's selection means nothing here.
    if (&table != m_featureTableView.lock().get()) return;
    auto selected = m_featureArrayController->selectedObjects();
    m_selectedFeature = selected.empty() ? nullptr : std::dynamic_pointer_cast<KOPAFeature>(selected.back());
    reloadUsers();
}

size_t KOPAFeatureEditor::numberOfRowsInTableView(const platform::TableView& table) {
    // The feature table is the array controller's.
    return isUserTable(table) ? m_users.size() : 0;
}

platform::Value KOPAFeatureEditor::objectValueForTableColumnRow(const platform::TableView& table,
                                                                const platform::TableColumn& column,
                                                                size_t row) {
    if (!isUserTable(table) || !m_selectedFeature) return platform::Value();
    const GWUser* user = userAtRow(row);
    if (column.identifier == kUserColumn) return platform::Value(nameOf(user));
    if (column.identifier == kActiveColumn) return platform::Value(m_selectedFeature->isActiveForUser(user));
    return platform::Value();
}

void KOPAFeatureEditor::setObjectValueForTableColumnRow(platform::TableView& table,
                                                        const platform::Value& value,
                                                        const platform::TableColumn& column, size_t row) {
    if (!isUserTable(table) || !m_selectedFeature) return;
    // Only a yes or no can tick a box; anything else changes nothing (the reload shows so).
    if (column.identifier == kActiveColumn && (value.isBool() || value.isInteger()) && row < m_users.size()) {
        if (auto status = m_selectedFeature->setActiveForUser(value.asBool(), userAtRow(row)); !status) {
            auto context = KOPAHelper::objectContext();
            // A change made but not stored stays pending: the host reports its failed save itself
            // ("kept and will be saved"), so saying "could not be changed" here would contradict it.
            if (context && context->hasChanges())
                KOPA_LOG("The permission change is kept for the host's next save: {}", status.message());
            else
                KOPAPlugin::classHandleError(platform::Error(
                    "KOPAFeatureEditor", 1, "The permission could not be changed: " + status.message()));
        }
    }
    reloadUsers();
}

void KOPAFeatureEditor::tableViewWillDisplayCell(platform::TableView& table, platform::TableCell& cell,
                                                 const platform::TableColumn& column, size_t row) {
    if (isUserTable(table) && column.identifier == kActiveColumn) cell.title = nameOf(userAtRow(row));
}
