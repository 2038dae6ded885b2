#include "app/host/ConnectorMapListing.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

#include "app/host/TerminalText.h"

namespace {

constexpr size_t kGap = 2;
constexpr size_t kColumns = 5;

nlohmann::ordered_json text(const std::optional<std::string>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

std::string shown(const std::optional<std::string>& value) {
    return value ? TerminalText::printable(*value) : std::string("-");
}

}  // namespace

std::string ConnectorMapListing::renderJson(const std::vector<Record>& records) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& record : records) {
        nlohmann::ordered_json entry;
        entry["foreignAppName"] = text(record.foreignAppName);
        entry["foreignEntityType"] = text(record.foreignEntityType);
        entry["foreignID"] = text(record.foreignID);
        entry["contactID"] =
            record.contactID ? nlohmann::ordered_json(*record.contactID) : nlohmann::ordered_json(nullptr);
        entry["json"] = text(record.json);
        out.push_back(std::move(entry));
    }
    return out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
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
