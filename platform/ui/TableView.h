#pragma once

// TableView: rows and columns whose contents come from a data source; the delegate hears of
// selection changes. Both are interfaces held weakly, as the toolkit does.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/ui/Control.h"

namespace platform {

class TableView;

struct TableColumn {
    std::string identifier;
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
};

class TableView : public Control {
public:
    void addTableColumn(TableColumn column) { m_columns.push_back(std::move(column)); }
    const std::vector<TableColumn>& tableColumns() const { return m_columns; }
    void setDataSource(const std::shared_ptr<TableViewDataSource>& source) { m_dataSource = source; }
    void setDelegate(const std::shared_ptr<TableViewDelegate>& delegate) { m_delegate = delegate; }
    std::shared_ptr<TableViewDataSource> dataSource() const { return m_dataSource.lock(); }

    size_t numberOfRows() const;
    Value valueAt(size_t column, size_t row) const;
    int64_t selectedRow() const { return m_selectedRow; }
    // Selects a row (-1: none) and tells the delegate when the selection changed.
    void selectRow(int64_t row);
    // Re-reads the row count; a selection past the end is dropped.
    void reloadData();

private:
    std::vector<TableColumn> m_columns;
    std::weak_ptr<TableViewDataSource> m_dataSource;
    std::weak_ptr<TableViewDelegate> m_delegate;
    int64_t m_selectedRow = -1;
};

}  // namespace platform
