#include "platform/ui/TableView.h"

#include "platform/ui/FrontEndSupport.h"

namespace platform {

size_t TableView::numberOfRows() const {
    auto source = m_dataSource.lock();
    return source ? source->numberOfRowsInTableView(*this) : 0;
}

Value TableView::valueAt(size_t column, size_t row) const {
    auto source = m_dataSource.lock();
    if (!source || column >= m_columns.size() || row >= numberOfRows()) return Value();
    Value value = source->objectValueForTableColumnRow(*this, m_columns[column], row);
    m_shown[{column, row}] = value;
    return value;
}

std::optional<Value> TableView::shownValueAt(size_t column, size_t row) const {
    auto found = m_shown.find({column, row});
    if (found == m_shown.end()) return std::nullopt;
    return found->second;
}

bool TableView::toggleCheckBoxAt(size_t column, size_t row) {
    if (!dataSource() || column >= m_columns.size() || row >= numberOfRows()) return false;
    std::optional<Value> shown = shownValueAt(column, row);
    return setValueAt(Value(!isTicked(shown ? *shown : valueAt(column, row))), column, row);
}

bool TableView::setValueAt(const Value& value, size_t column, size_t row) {
    auto source = m_dataSource.lock();
    if (!source || column >= m_columns.size() || row >= numberOfRows()) return false;
    // The cell shows what was entered until it is read again (the source may reload at once).
    m_shown[{column, row}] = value;
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
    // What the rows show may have changed with the reload: the values are read again.
    m_shown.clear();
    size_t rows = numberOfRows();
    if (m_selectedRow >= static_cast<int64_t>(rows)) selectRow(-1);
    if (!dataSource()) return;
    rows = numberOfRows();
    for (size_t column = 0; column < m_columns.size(); ++column)
        if (m_columns[column].checkBox)
            for (size_t row = 0; row < rows; ++row) valueAt(column, row);
}

}  // namespace platform
