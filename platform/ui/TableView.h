#pragma once

// TableView: rows and columns whose contents come from a data source; the delegate hears of
// selection changes, titles check-box cells and gives a row's contextual menu. Both are
// interfaces held weakly, as the toolkit does.
//
// The table remembers the value of each cell as it last handed it out (a front end drawing it)
// or read it at a reload: what the person sees. A tick acts on that (toggleCheckBoxAt), not on
// what the data source would answer now -- a source that reads a shared database may already
// hold another host's change the screen does not show yet, and inverting that would undo it.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/ui/Control.h"

namespace platform {

class Menu;
class TableView;

struct TableColumn {
    std::string identifier;
    std::string title;
    // The column's cells are check boxes: their values are booleans, and each cell may carry a
    // title the delegate gives it (tableViewWillDisplayCell).
    bool checkBox = false;
};

// What the delegate may change of a cell before it is drawn.
struct TableCell {
    std::string title;
};

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual size_t numberOfRowsInTableView(const TableView& table) = 0;
    virtual Value objectValueForTableColumnRow(const TableView& table, const TableColumn& column,
                                               size_t row) = 0;
    // An edit of a cell (a check box toggled); ignored unless the source overrides it.
    virtual void setObjectValueForTableColumnRow(TableView& table, const Value& value,
                                                 const TableColumn& column, size_t row) {}
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual void tableViewSelectionDidChange(TableView& table) {}
    // Called before a cell is drawn; a check-box cell shows `cell.title` beside its box.
    virtual void tableViewWillDisplayCell(TableView& table, TableCell& cell, const TableColumn& column,
                                          size_t row) {}
    // The contextual menu of a row (a right click on it); none by default.
    virtual std::shared_ptr<Menu> tableViewMenuForRow(TableView& table, size_t row) { return nullptr; }
};

class TableView : public Control {
public:
    void addTableColumn(TableColumn column) { m_columns.push_back(std::move(column)); }
    const std::vector<TableColumn>& tableColumns() const { return m_columns; }
    void setDataSource(const std::shared_ptr<TableViewDataSource>& source) { m_dataSource = source; }
    void setDelegate(const std::shared_ptr<TableViewDelegate>& delegate) { m_delegate = delegate; }
    std::shared_ptr<TableViewDataSource> dataSource() const { return m_dataSource.lock(); }

    size_t numberOfRows() const;
    // The cell's value from the data source; it becomes the value shown.
    Value valueAt(size_t column, size_t row) const;
    // The value the cell showed last (handed out by valueAt, read at the last reload, or entered
    // with setValueAt); none when the cell was not shown since the last reload.
    std::optional<Value> shownValueAt(size_t column, size_t row) const;
    // Hands an edited value to the data source (a check box clicked), then nothing else: the
    // source reloads if it wants to. False when the column or row does not exist.
    bool setValueAt(const Value& value, size_t column, size_t row);
    // A tick of a check-box cell: hands the data source the opposite of the value shown (the
    // source's value when the cell was not shown since the last reload). False when the column
    // or row does not exist.
    bool toggleCheckBoxAt(size_t column, size_t row);
    // The title the delegate gives the cell (empty when it gives none).
    std::string cellTitleAt(size_t column, size_t row);
    // The row's contextual menu from the delegate; null when there is none or no such row.
    std::shared_ptr<Menu> menuForRow(size_t row);
    int64_t selectedRow() const { return m_selectedRow; }
    // Selects a row (-1: none) and tells the delegate when the selection changed.
    void selectRow(int64_t row);
    // Re-reads the row count and the check-box cells' values (which become the values shown); a
    // selection past the end is dropped.
    void reloadData();

private:
    mutable std::map<std::pair<size_t, size_t>, Value> m_shown;  // (column, row) -> value
    std::vector<TableColumn> m_columns;
    std::weak_ptr<TableViewDataSource> m_dataSource;
    std::weak_ptr<TableViewDelegate> m_delegate;
    int64_t m_selectedRow = -1;
};

}  // namespace platform
