#include "platform/ui/ArrayController.h"

#include <algorithm>

namespace platform {

void ArrayController::setContent(std::vector<ObjectPtr> content) {
    m_content = std::move(content);
    m_selection.clear();
    if (auto table = m_table.lock()) {
        table->selectRow(-1);
        table->reloadData();
    }
}

void ArrayController::bindTable(const std::shared_ptr<TableView>& table) {
    auto carried = selectionIndexes();
    if (auto old = m_table.lock(); old && old != table) old->setDataSource(nullptr);
    m_table = table;
    if (!table) {
        m_selection = std::move(carried);
        return;
    }
    table->setDataSource(sharedAs<ArrayController>());
    table->reloadData();
    table->selectRow(carried.empty() ? -1 : static_cast<int64_t>(carried.front()));
}

std::vector<size_t> ArrayController::selectionIndexes() const {
    auto table = m_table.lock();
    if (!table) return m_selection;
    int64_t row = table->selectedRow();
    if (row < 0 || static_cast<size_t>(row) >= m_content.size()) return {};
    return {static_cast<size_t>(row)};
}

void ArrayController::setSelectionIndexes(std::vector<size_t> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    indexes.erase(std::lower_bound(indexes.begin(), indexes.end(), m_content.size()), indexes.end());
    if (auto table = m_table.lock()) {
        table->selectRow(indexes.empty() ? -1 : static_cast<int64_t>(indexes.front()));
        return;
    }
    m_selection = std::move(indexes);
}

std::vector<ObjectPtr> ArrayController::selectedObjects() const {
    std::vector<ObjectPtr> selected;
    for (size_t index : selectionIndexes()) selected.push_back(m_content[index]);
    return selected;
}

size_t ArrayController::numberOfRowsInTableView(const TableView&) {
    return m_content.size();
}

Value ArrayController::objectValueForTableColumnRow(const TableView&, const TableColumn& column, size_t row) {
    if (row >= m_content.size() || !m_content[row] || !m_reader) return Value();
    return m_reader(*m_content[row], column.identifier);
}

}  // namespace platform
