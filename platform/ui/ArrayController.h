#pragma once

// ArrayController: holds an ordered list of objects for a table and knows which of them are
// selected. Bound to a table, it is the table's data source: one row per arranged object, each
// cell the object's value for the column's identifier as the value reader gives it; and the
// table's selected row is its selection. Unbound, it keeps a selection of its own.
//
// The arranged objects are the content in its order (no sorting or filtering). Giving new
// content clears the selection, so a selection never points at an object that was not chosen.
//
// The table holds its data source weakly, as the toolkit does: whoever binds the controller
// keeps it alive for as long as the table is shown. Main thread only.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"
#include "platform/ui/TableView.h"

namespace platform {

class ArrayController : public Object, public TableViewDataSource {
public:
    // An object's value for a key (a column identifier); null when it has none.
    using ValueReader = std::function<Value(const Object& object, std::string_view key)>;

    void setContent(std::vector<ObjectPtr> content);
    const std::vector<ObjectPtr>& content() const { return m_content; }
    const std::vector<ObjectPtr>& arrangedObjects() const { return m_content; }
    // Without a reader every cell is null.
    void setValueReader(ValueReader reader) { m_reader = std::move(reader); }

    // Becomes the table's data source, and its selection the table's (a table selects one row:
    // the first of the current selection is carried over). None unbinds.
    void bindTable(const std::shared_ptr<TableView>& table);
    std::shared_ptr<TableView> boundTable() const { return m_table.lock(); }

    // Indexes into the arranged objects, ascending.
    std::vector<size_t> selectionIndexes() const;
    // Indexes past the end are dropped; a bound table selects the first index that remains.
    void setSelectionIndexes(std::vector<size_t> indexes);
    std::vector<ObjectPtr> selectedObjects() const;

    size_t numberOfRowsInTableView(const TableView& table) override;
    Value objectValueForTableColumnRow(const TableView& table, const TableColumn& column,
                                       size_t row) override;

private:
    std::vector<ObjectPtr> m_content;
    std::vector<size_t> m_selection;  // while unbound
    std::weak_ptr<TableView> m_table;
    ValueReader m_reader;
};

}  // namespace platform
