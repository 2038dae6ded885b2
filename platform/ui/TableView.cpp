#include "platform/ui/TableView.h"

namespace platform {

size_t TableView::numberOfRows() const {
    auto source = m_dataSource.lock();
    return source ? source->numberOfRowsInTableView(*this) : 0;
}

Value TableView::valueAt(size_t column, size_t row) const {
    auto source = m_dataSource.lock();
    if (!source || column >= m_columns.size() || row >= numberOfRows()) return Value();
    return source->objectValueForTableColumnRow(*this, m_columns[column], row);
}

bool TableView::setValueAt(const Value& value, size_t column, size_t row) {
    auto source = m_dataSource.lock();
    if (!source || column >= m_columns.size() || row >= numberOfRows()) return false;
    source->setObjectValueForTableColumnRow(*this, value, m_columns[column], row);
    return true;
}

std::string TableView::cellTitleAt(size_t column, size_t row) {
    TableCell cell;
    auto delegate = m_delegate.lock();
    if (delegate && column < m_columns.size() && row < numberOfRows())
        delegate->tableViewWillDisplayCell(*this, cell, m_columns[column], row);
    return cell.title;
}

std::shared_ptr<Menu> TableView::menuForRow(size_t row) {
    auto delegate = m_delegate.lock();
    if (!delegate || row >= numberOfRows()) return nullptr;
    return delegate->tableViewMenuForRow(*this, row);
}

void TableView::selectRow(int64_t row) {
    if (row < -1 || row >= static_cast<int64_t>(numberOfRows())) row = -1;
    if (row == m_selectedRow) return;
    m_selectedRow = row;
    if (auto delegate = m_delegate.lock()) delegate->tableViewSelectionDidChange(*this);
}

void TableView::reloadData() {
    if (m_selectedRow >= static_cast<int64_t>(numberOfRows())) selectRow(-1);
}

}  // namespace platform
