#pragma once

// KOPAFeatureEditor: the window in which a plug-in's features are granted to users and taken
// away again. Two tables: the features (filled by an array controller) and the host's active
// users, one check box each; row 0 stands for all users and reads "All". Choosing a feature
// shows for whom it is active; ticking or clearing a box grants or withdraws it for that user
// (row 0: the all-users record) and is saved to the host database at once. A tick acts on the box
// as shown: a clear box grants, a ticked one withdraws, whatever another host did since it was
// drawn (so granting what another host granted meanwhile keeps one grant, and withdraws
// nothing). The boxes show the database afresh after each change and whenever the window
// becomes key. A user who has the feature only through the all-users record shows ticked;
// clearing that box withdraws nothing.
//
// Window description "VEXAFeatureEditor": a table "features" (outlet featureTableView) and a
// table "users" (outlet userTableView) with the columns "user" and "active" (a check box). The
// array controller is made by the editor and bound to the feature table once the window is
// loaded, since window descriptions hold views only; it shows a feature's "identifier" and
// "featureDescription".
//
// Like every dialog made from a description, windowDidLoad() runs twice: at creation, without
// window or tables (only the user list is built), and after loading; the second run leaves what
// a single run would. The user list is taken at set-up: users added later appear in a new editor.
//
//   KOPAFeatureEditor::featureEditor()->show();

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "VEXADialogController.h"
#include "platform/ui/ArrayController.h"
#include "platform/ui/TableView.h"

class GWUser;
class KOPAFeature;

class KOPAFeatureEditor : public KOPADialogController,
                          public platform::TableViewDataSource,
                          public platform::TableViewDelegate {
public:
    static constexpr const char* kNibName = "VEXAFeatureEditor";
    static constexpr const char* kUserColumn = "user";
    static constexpr const char* kActiveColumn = "active";

    KOPAFeatureEditor();

    // A new editor from the description in the bundle holding the framework (none if it cannot
    // be made); its window is loaded when first asked for.
    static std::shared_ptr<KOPAFeatureEditor> featureEditor();
    // Shows the editor as a free window.
    void show();

    void windowDidLoad() override;

    void tableViewSelectionDidChange(platform::TableView& table) override;
    size_t numberOfRowsInTableView(const platform::TableView& table) override;
    platform::Value objectValueForTableColumnRow(const platform::TableView& table,
                                                 const platform::TableColumn& column, size_t row) override;
    void setObjectValueForTableColumnRow(platform::TableView& table, const platform::Value& value,
                                         const platform::TableColumn& column, size_t row) override;
    void tableViewWillDisplayCell(platform::TableView& table, platform::TableCell& cell,
                                  const platform::TableColumn& column, size_t row) override;

    const std::shared_ptr<platform::ArrayController>& featureArrayController() const {
        return m_featureArrayController;
    }
    std::shared_ptr<platform::TableView> featureTableView() const { return m_featureTableView.lock(); }
    std::shared_ptr<platform::TableView> userTableView() const { return m_userTableView.lock(); }
    // The user table's rows: none first (all users), then the active users.
    const std::vector<std::shared_ptr<GWUser>>& users() const { return m_users; }
    void setUsers(std::vector<std::shared_ptr<GWUser>> users) { m_users = std::move(users); }
    const std::shared_ptr<KOPAFeature>& selectedFeature() const { return m_selectedFeature; }
    void setSelectedFeature(std::shared_ptr<KOPAFeature> feature) { m_selectedFeature = std::move(feature); }

private:
    bool isUserTable(const platform::TableView& table) const;
    // The user of a row: none for row 0 and past the end.
    const GWUser* userAtRow(size_t row) const;
    void reloadUsers();

    std::shared_ptr<platform::ArrayController> m_featureArrayController;
    std::weak_ptr<platform::TableView> m_featureTableView;
    std::weak_ptr<platform::TableView> m_userTableView;
    std::vector<std::shared_ptr<GWUser>> m_users;
    std::shared_ptr<KOPAFeature> m_selectedFeature;
    std::optional<uint64_t> m_becameKeyObserver;  // NotificationCenter token
};
