#include "app/host/ConnectorMapListing.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "app/host/TemplateTable.h"
#include "app/host/TerminalText.h"
#include "platform/foundation/DisplayText.h"

namespace {

constexpr size_t kGap = 2;
constexpr size_t kColumns = 5;

platform::Value text(const std::optional<std::string>& value) {
    return value ? platform::Value(*value) : platform::Value();
}

std::string shown(const std::optional<std::string>& value) {
    return value ? platform::DisplayText::printable(*value) : std::string("-");
}

}  // namespace

std::string ConnectorMapListing::renderJson(const std::vector<Record>& records) {
    std::vector<TemplateTable::JsonEntry> entries;
    entries.reserve(records.size());
    for (const auto& record : records)
        entries.push_back(
            {{"foreignAppName", text(record.foreignAppName)},
             {"foreignEntityType", text(record.foreignEntityType)},
             {"foreignID", text(record.foreignID)},
             {"contactID", record.contactID ? platform::Value(*record.contactID) : platform::Value()},
             {"json", text(record.json)}});
    return TemplateTable::renderJson(entries);
}

std::string ConnectorMapListing::renderTable(const std::vector<Record>& records, size_t width) {
    using Row = std::array<std::string, kColumns>;
    std::vector<Row> rows;
    rows.push_back({"APPLICATION", "TYPE", "FOREIGN ID", "CONTACT", "JSON"});
    for (const auto& record : records)
        rows.push_back(
            {shown(record.foreignAppName), shown(record.foreignEntityType), shown(record.foreignID),
             record.contactID ? std::to_string(*record.contactID) : std::string("-"), shown(record.json)});
    std::array<size_t, kColumns> widths{};
    for (const auto& row : rows)
        for (size_t c = 0; c < kColumns; ++c)
            widths[c] = std::max(widths[c], TerminalText::displayWidth(row[c]));
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < kColumns; ++c) {
            line += row[c];
            if (c + 1 < kColumns)
                line += std::string(widths[c] - TerminalText::displayWidth(row[c]) + kGap, ' ');
        }
        // On a terminal the line is cut (the JSON text last, being at the end); piped, kept whole.
        if (width) line = TerminalText::truncated(line, width);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    if (records.empty()) out += "(no connector-map records)\n";
    return out;
}
